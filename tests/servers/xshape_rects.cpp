// Prints the rectangles of a window's bounding shape, one per line as
// "x y width height", so the end-to-end tests can check the clock's outline
// as the X server has it.
#include <X11/Xlib.h>
#include <X11/extensions/shape.h>

#include <cstdio>
#include <cstdlib>

int main(int argc, char *argv[])
{
    if (argc != 2) {
        std::fprintf(stderr, "usage: xshape_rects WINDOW-ID\n");
        return 2;
    }
    Display *display = XOpenDisplay(nullptr);
    if (!display) {
        std::fprintf(stderr, "no display\n");
        return 2;
    }
    const Window window = static_cast<Window>(std::strtoul(argv[1], nullptr, 0));
    int count = 0;
    int ordering = 0;
    XRectangle *rects = XShapeGetRectangles(display, window, ShapeBounding, &count, &ordering);
    for (int i = 0; i < count; ++i)
        std::printf("%d %d %d %d\n", rects[i].x, rects[i].y, rects[i].width, rects[i].height);
    if (rects)
        XFree(rects);
    XCloseDisplay(display);
    return 0;
}
