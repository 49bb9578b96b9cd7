// The reader of a CalDAV server's multistatus answers: any bytes give entries
// or a reason, never a crash; every entry it keeps lies inside the collection
// asked about, its path already normalised; a refused answer keeps nothing.

#include "FuzzTarget.h"

#include "sync/Multistatus.h"

#include <QUrl>

int TestOneInput(const uint8_t *data, size_t size)
{
    const QByteArray input(reinterpret_cast<const char *>(data), qsizetype(size));
    const QUrl asked(QStringLiteral("https://dav.example/cal/home/"));
    const QString collection = CalDav::CollectionPath(asked);
    const CalDav::Multistatus read = CalDav::ParseMultistatus(input, asked, collection);
    if (!read.error.isEmpty())
        FUZZ_CHECK(read.entries.isEmpty());
    for (const CalDav::Entry &entry : read.entries) {
        FUZZ_CHECK(entry.href.startsWith(collection) || CalDav::SamePath(entry.href, collection));
        FUZZ_CHECK(CalDav::Normalised(entry.href) == entry.href);
        FUZZ_CHECK(!entry.href.contains(QLatin1String("/../")) && !entry.href.contains(QLatin1String("/./")));
        FUZZ_CHECK(entry.hasData || entry.data.isEmpty());
    }
    return 0;
}
