#pragma once

class QWidget;

namespace WindowPositioning {

// Raises the window once to the top of the ordinary window order and activates
// it. It does not stay above other windows.
void BringToFront(QWidget *window);

} // namespace WindowPositioning
