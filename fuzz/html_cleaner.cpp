// fuzz-deps: tx_officeimport
// The tag scanner and the cleaner on arbitrary text, with a fake picture upload:
// no crash, no hang, only the documented error, and every tag the scanner reads
// is the source text at the scan position.
#include "officeimport/HtmlCleaner.h"
#include "util/PageSeparator.h"
#include "officeimport/TextArticle.h"
#include "core/AutomationError.h"

#include <cstdint>
#include <cstdlib>

namespace {

void check(bool ok)
{
    if (!ok)
        std::abort();
}

void scanAll(const QString &source)
{
    tx::HtmlCleaner scanner;
    scanner.strSourceHtml = source;
    scanner.lngScanPos = 1;
    for (;;) {
        const qsizetype before = scanner.lngScanPos;
        const tx::Tag t = scanner.NextTag();
        check(scanner.lngScanPos >= before);
        if (t.SourceHTML.isEmpty())
            return;
        check(QStringView(source).sliced(scanner.lngScanPos - 1).startsWith(t.SourceHTML));
        check(t.SourceHTML.startsWith(QLatin1Char('<')));
        scanner.lngScanPos += t.SourceHTML.size();
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    const QString source = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    scanAll(source);

    tx::HtmlCleaner cleaner;
    int uploads = 0;
    cleaner.setPump([] {});
    cleaner.setPictureUpload([&uploads](const QString &, const QString &local, int) {
        ++uploads;
        return local.left(8) + QStringLiteral("\"x");
    });
    cleaner.strSourceHtml = source;
    cleaner.strPicFolder = QStringLiteral("/p/");
    try {
        cleaner.CleanHtml();
        check(cleaner.lngScanPos >= 1 && cleaner.lngScanPos <= source.size() + 1);
    } catch (const tx::AutomationError &e) {
        // A skipped head element without its end, or a picture that names a place
        // outside the picture folder (a scheme, a climb out).
        check(e.number == tx::ErrInvalidCall || e.number == tx::ErrPermissionDenied);
    }

    const tx::TextArticle article = tx::textToArticle(source);
    check(article.content.endsWith(tx::PAGE_SEPARATOR) && !article.title.isEmpty());
    return 0;
}
