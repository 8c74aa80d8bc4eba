#include "PageCut.h"

#include "HtmlExport.h"
#include "PageSplit.h"
#include "UnoText.h"
#include "WriterView.h"
#include "core/AutomationError.h"
#include "office/WorkFolders.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <com/sun/star/document/XUndoManager.hpp>
#include <com/sun/star/document/XUndoManagerSupplier.hpp>
#include <com/sun/star/beans/XPropertySet.hpp>
#include <com/sun/star/text/XTextRange.hpp>
#include <com/sun/star/text/XTextTablesSupplier.hpp>
#include <com/sun/star/util/XReplaceable.hpp>
#include <com/sun/star/frame/XModel.hpp>
#include <com/sun/star/util/XReplaceDescriptor.hpp>
#include <cerrno>
#include <utility>
#include <vector>
#include <fcntl.h>
#include <unistd.h>

namespace tx::office::lo {
namespace {

using css::uno::Reference;
using css::uno::UNO_QUERY_THROW;

const rtl::OUString kMarksTitle("tessarix page marks");

QString stemOf(const QString &copyPath)
{
    const QFileInfo info(copyPath);
    return info.absoluteDir().filePath(info.completeBaseName());
}

// Worker: a document's windows kept from following its changes, until it goes
// or is handed to the view.
class HeldStill {
public:
    void hold(const Reference<css::lang::XComponent> &model)
    {
        held.set(model, UNO_QUERY_THROW);
        held->lockControllers();
    }
    // Held on after the export: let go, the office would lay out again every
    // page the marks went into and out of, which a document that is only
    // closed next does not need.
    void handTo(WriterView &view) { view.heldStill = std::exchange(held, {}); }
    ~HeldStill()
    {
        if (!held.is())
            return;
        try {
            held->unlockControllers();
        } catch (const css::uno::Exception &) {
        }
    }

private:
    Reference<css::frame::XModel> held;
};

// Worker. Marks every page start from the second on (from the last page to the
// first, so that a paragraph put ahead of a table moves nothing yet to mark),
// exports, and takes the marks out again in one undo step.
void markAndExport(LoDocument &doc, int pages, const QString &exportPath)
{
    WriterView &view = viewOf(doc);
    Reference<css::document::XUndoManager> undo =
        Reference<css::document::XUndoManagerSupplier>(doc.model, UNO_QUERY_THROW)->getUndoManager();
    undo->enterUndoContext(kMarksTitle);
    std::vector<Reference<css::text::XTextRange>> starts;
    bool inContext = true;
    const auto takeOut = [&] {
        if (inContext) {
            inContext = false;
            undo->leaveUndoContext();
        }
        if (undo->isUndoPossible() && undo->getCurrentUndoActionTitle() == kMarksTitle) {
            undo->undo();
            return;
        }
        // No undo (locked by someone): the marks replaced by nothing.
        Reference<css::util::XReplaceable> text(doc.model, UNO_QUERY_THROW);
        Reference<css::util::XReplaceDescriptor> marks = text->createReplaceDescriptor();
        marks->setSearchString(ou(QStringLiteral("\uE000[0-9]+\uE001")));
        marks->setReplaceString(rtl::OUString());
        Reference<css::beans::XPropertySet>(marks, UNO_QUERY_THROW)->setPropertyValue("SearchRegularExpression", css::uno::Any(true));
        text->replaceAll(Reference<css::util::XSearchDescriptor>(marks, UNO_QUERY_THROW));
    };
    HeldStill still;
    try {
        // Where the text has no table, no page starts in one: a question fewer
        // a page.
        const bool tables =
            Reference<css::text::XTextTablesSupplier>(doc.model, UNO_QUERY_THROW)->getTextTables()->hasElements();
        // The window held still from here on: each jump would have the office
        // bring the window up to date, and each change lay it out anew, which
        // neither the walk nor the export needs. Where a table may get a
        // paragraph ahead of it, the walk asks the layout about that paragraph,
        // so the window follows until the marks go in.
        if (!tables)
            still.hold(doc.model);
        for (int i = pages; i >= 2; --i) {
            view.pages->jumpToPage(sal_Int16(i)); // lands on the page's start
            if (tables)
                startOutsideTables(doc, sal_Int16(i));
            starts.push_back(view.cursor->getStart());
        }
        // Marked only now: a mark put in while walking moves the text after it,
        // and the office would lay out the rest of the document again each time.
        int page = pages;
        if (tables)
            still.hold(doc.model);
        for (const auto &r : starts)
            r->setString(ou(QString::fromUtf8(pageMark(page--))));
        undo->leaveUndoContext();
        inContext = false;
        doc.storeHtml(exportPath);
    } catch (...) {
        try {
            takeOut();
        } catch (...) {
        }
        throw;
    }
    takeOut();
    still.handTo(view);
}

// The export's pictures whose names start like `prefix`, removed.
void removePictures(const QString &htmlPath)
{
    const QFileInfo info(htmlPath);
    QDir dir = info.absoluteDir();
    const QStringList left = dir.entryList(
        {QString(info.fileName()).replace(QLatin1Char('.'), QLatin1Char('_')) + QStringLiteral("_*")}, QDir::Files);
    for (const QString &name : left)
        dir.remove(name);
}

// Writes `bytes` over the file and then cuts it to their length: a file
// emptied first and written again is flushed to the disk at its close (ext4
// guards replaced files so), which costs more than the rest of a page.
void writeOver(const QString &path, const QByteArray &bytes)
{
    const int fd = ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0)
        throw fileError(errno, path);
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            const int err = n < 0 ? errno : EIO;
            ::close(fd);
            throw fileError(err, path);
        }
        done += n;
    }
    const bool cut = ::ftruncate(fd, off_t(bytes.size())) == 0;
    if (::close(fd) != 0 || !cut)
        throw fileError(EIO, path);
}

} // namespace

QString exportFileOf(const QString &copyPath)
{
    return stemOf(copyPath) + QStringLiteral(".html");
}

QString pagePicturesOf(const QString &copyPath)
{
    return stemOf(copyPath) + QStringLiteral(".pages");
}

std::shared_ptr<const PageCut> cutIntoPages(LoSession &s, const std::shared_ptr<LoDocument> &doc, int pages)
{
    if (pages < 1 || pages > 32767 || doc->copyPath.isEmpty())
        return nullptr;
    const QString exportPath = exportFileOf(doc->copyPath);
    auto cut = std::make_shared<PageCut>();
    cut->pictures = pagePicturesOf(doc->copyPath);
    cut->pictureRef = QFileInfo(cut->pictures).fileName();
    QByteArray html;
    try {
        s.call(QStringLiteral("the page starts"), [doc, pages, exportPath] { markAndExport(*doc, pages, exportPath); });
        html = readWhole(exportPath);
        QFile::remove(exportPath);
        cut->pictureNames = movePictures(exportPath, html, cut->pictures, cut->pictureRef);
    } catch (...) {
        QFile::remove(exportPath);
        removePictures(exportPath);
        QDir(cut->pictures).removeRecursively();
        throw;
    }
    std::optional<SplitPages> split = splitAtPageMarks(html, pages);
    if (!split) {
        QDir(cut->pictures).removeRecursively();
        return nullptr;
    }
    cut->head = std::move(split->head);
    cut->bodyTag = std::move(split->bodyTag);
    cut->pages = std::move(split->pages);
    return cut;
}

void writePages(const PageCut &cut, const QList<int> &pages, const QString &fileName)
{
    QByteArray body;
    for (int i : pages)
        if (i >= 1 && i <= cut.pages.size())
            body += cut.pages[i - 1];
    const QString folder = supportingFolder(fileName);
    const QString ref = QFileInfo(folder).fileName();
    // Named as the export of `fileName` would name them.
    const QString exported = QFileInfo(exportFileOf(cut.pictures)).fileName().replace(QLatin1Char('.'), QLatin1Char('_'));
    const QString own = QFileInfo(fileName).fileName().replace(QLatin1Char('.'), QLatin1Char('_'));
    QDir(folder).removeRecursively();
    bool made = false;
    for (const QString &name : cut.pictureNames) {
        const QByteArray from = (cut.pictureRef + QLatin1Char('/') + name).toUtf8();
        if (!body.contains("\"" + from) && !body.contains("=" + from))
            continue;
        if (!made && !(made = QDir().mkpath(folder)))
            throw fileError(EACCES, folder);
        const QString renamed = name.startsWith(exported) ? own + name.mid(exported.size()) : name;
        const QString source = cut.pictures + QLatin1Char('/') + name;
        const QString target = folder + QLatin1Char('/') + renamed;
        // A link costs nothing; a copy where the folders' file system refuses one.
        if (::link(QFile::encodeName(source).constData(), QFile::encodeName(target).constData()) != 0
            && !QFile::copy(source, target))
            throw fileError(EACCES, target);
        const QByteArray to = (ref + QLatin1Char('/') + renamed).toUtf8();
        body.replace("\"" + from, "\"" + to);
        body.replace("=" + from, "=" + to);
    }
    writeOver(fileName, cut.head + cut.bodyTag + "\n" + body + "\n</body>\n</html>\n");
}

} // namespace tx::office::lo
