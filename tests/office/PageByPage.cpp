#include "PageByPage.h"

#include "office/OfficeConstants.h"
#include "office/WorkFolders.h"

#include <QDir>
#include <QFile>

using namespace tx::office;

QString readText(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

Paged pageByPage(WordApplication &w, const QString &source, const QString &htmlFile,
                 const std::function<void(int page)> &afterSave)
{
    Paged out;
    w.SetDisplayAlerts(wdAlertsNone);
    auto doc = w.DocumentsOpen(source);
    w.SetActiveWindowViewType(wdPrintView);
    doc->Repaginate();
    out.count = doc->BuiltInDocumentProperties(wdPropertyPages);
    out.html = QStringList(out.count);
    for (int i = 0; i < out.count; ++i)
        out.pictures.append(QStringList());
    const QString folder = supportingFolder(htmlFile);
    for (int i = out.count; i >= 1; --i) {
        auto page = w.DocumentsAdd();
        auto pageSel = page->WindowsSelection(1);
        pageSel->GoTo(wdGoToPage, 1);
        pageSel->EndKey(wdStory, wdExtend);
        auto sel = doc->WindowsSelection(1);
        sel->GoTo(wdGoToPage, i);
        sel->EndKey(wdStory, wdExtend);
        sel->Copy();
        pageSel->Paste();
        sel->Delete();
        page->SaveAs(htmlFile, wdFormatHTML);
        out.html[i - 1] = readText(htmlFile);
        out.pictures[i - 1] = QDir(folder).entryList(QDir::Files);
        if (afterSave)
            afterSave(i);
        page->Close({}, {});
    }
    doc->Close(false, false);
    return out;
}
