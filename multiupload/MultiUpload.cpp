#include "multiupload/MultiUpload.h"

#include "multiupload/FolderListing.h"
#include "multiupload/ModFolderBrowse.h"
#include "core/Activity.h"
#include "core/AutomationError.h"
#include "core/Pump.h"
#include "platform/ActionGuard.h"
#include "platform/FormLook.h"
#include "platform/Ui.h"
#include "upload/UploadMachinery.h"
#include "util/UserFiles.h"

#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScopedValueRollback>

namespace tx {
namespace {

template <typename W>
W *child(QWidget *parent, const char *name, const QString &caption, QRect twips)
{
    return ui::placeChild<W>(parent, name, ui::fromTwips(twips), caption);
}

QProgressBar *bar(QWidget *parent, const char *name, QRect twips)
{
    auto *p = ui::placeChild<QProgressBar>(parent, name, ui::fromTwips(twips));
    p->setRange(0, 100);
    p->setValue(0);
    return p;
}

} // namespace

MultiUpload::MultiUpload(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MultiUpload"));
    lblTitle = child<QLabel>(this, "lblTitle", QStringLiteral("批量上传文件到服务器"), {120, 120, 5760, 300});
    Label3 = child<QLabel>(this, "Label3", QStringLiteral("本地目录："), {120, 540, 1080, 300});
    txtDir = child<QLineEdit>(this, "txtDir", QString(), {1200, 510, 4080, 330});
    // Only a picked folder is uploaded; typing a path would suggest otherwise.
    txtDir->setReadOnly(true);
    Command1 = child<QPushButton>(this, "Command1", QStringLiteral("..."), {5340, 510, 540, 330});
    Command2 = child<QPushButton>(this, "Command2", QStringLiteral("开始上传"), {4380, 2010, 1500, 390});
    Command2->setEnabled(false);
    lblFileName = child<QLabel>(this, "lblFileName", QString(), {120, 930, 5760, 270});
    Label1 = child<QLabel>(this, "Label1", QStringLiteral("当前文件进度："), {120, 1260, 1500, 270});
    pbFile = bar(this, "pbFile", {1650, 1260, 4230, 270});
    Label2 = child<QLabel>(this, "Label2", QStringLiteral("总体进度："), {120, 1620, 1500, 270});
    pb = bar(this, "pb", {1650, 1620, 4230, 270});
    resize(6000 / 15, 2520 / 15);

    UploadMachinery::Profile profile;
    profile.defaultPath = QStringLiteral("/upload.asp");
    profile.keepsAnswer = false;
    profile.onErrorAnswer = [](const QString &received) {
        ui::messageBox(received, ui::Buttons::OK, ui::Icon::Critical, QStringLiteral("文件上传时出错!"));
    };
    upload = new UploadMachinery(this, pbFile, std::move(profile));

    connect(Command1, &QPushButton::clicked, this, [this] { ui::guarded([this] { Command1_Click(); }, ui::Icon::None); });
    connect(Command2, &QPushButton::clicked, this, [this] { ui::guarded([this] { Command2_Click(); }, ui::Icon::None); });
}

MultiUpload::~MultiUpload() = default;

void MultiUpload::AddUploadFile(const QString &p_name, const QString &p_filename)
{
    upload->objPackage().AddUploadFile(p_name, p_filename);
}

void MultiUpload::addFormData(const QString &p_FormDataName, const QString &p_FormDataValue)
{
    upload->objPackage().addFormData(p_FormDataName, p_FormDataValue);
}

void MultiUpload::UploadFile()
{
    upload->UploadFile();
}

void MultiUpload::StartUpload(const QString &sf, const QString &pUrl)
{
    upload->ParseUploadUrl(pUrl);
    strRemoteFolder = sf.endsWith(QLatin1Char('/')) ? sf : sf + QLatin1Char('/');
    enableStartWhenReady();
}

void MultiUpload::enableStartWhenReady()
{
    // Nothing here disables it: a cancelled picker leaves it as it was.
    if (!txtDir->text().isEmpty() && !strRemoteFolder.isEmpty())
        Command2->setEnabled(true);
}

void MultiUpload::Command1_Click()
{
    strFolder = ModFolder_Browse::BrowseForFolder();
    txtDir->setText(strFolder);
    enableStartWhenReady();
}

void MultiUpload::Command2_Click()
{
    const activity::UserOperation walk(this);
    if (!walk)
        return;
    // txtDir is read-only, so it is empty exactly when no folder is chosen. A
    // click that arrives while a walk pumps events would share its package and
    // socket; it is ignored.
    if (txtDir->text().isEmpty() || strFolder.isEmpty() || walking)
        return;
    Command2->setEnabled(false);
    const QScopedValueRollback<bool> busy(walking, true);
    const QString local = strFolder;
    const FolderListing::Totals totals = FolderListing::totals(local);
    lngTotalSize = totals.bytes;
    filesTotal = totals.files;
    lngSentSize = 0;
    filesDone = 0;
    filesFailed = 0;
    UploadFolder(local, strRemoteFolder);
    // Every file's answer was awaited in the walk; only the last connection is
    // left to close.
    upload->closeConnection();
    pb->setValue(100);
    pump::once();
    // "All done" only when the server took every file.
    if (filesFailed == 0)
        ui::messageBox(QStringLiteral("所有文件上传完成."));
    else
        ui::messageBox(QStringLiteral("上传结束，%1 个文件上传失败。").arg(filesFailed));
}

void MultiUpload::UploadFolder(const QString &localFolder, const QString &remoteFolder)
{
    // Depth first with a stack instead of recursion: a deep tree cannot exhaust
    // the call stack. A folder's files go before any file of its sub-folders.
    struct Pending {
        QString local;
        QString remote;
    };
    QList<Pending> pending{{localFolder, remoteFolder}};
    bool root = true;
    while (!pending.isEmpty()) {
        const Pending current = pending.takeLast();
        FolderListing listing;
        try {
            listing = FolderListing::read(current.local, root);
        } catch (const AutomationError &e) {
            // Whatever it holds was not sent: it counts as a failure of the run.
            ui::messageBox(QStringLiteral("无法读取文件夹: ") + userfiles::shown(current.local) + QLatin1Char('\n')
                               + e.description,
                           ui::Buttons::OK, ui::Icon::Exclamation);
            ++filesFailed;
            root = false;
            continue;
        }
        root = false;
        for (const QString &why : listing.unreadable) {
            ui::messageBox(QStringLiteral("无法上传文件: ") + why, ui::Buttons::OK, ui::Icon::Exclamation);
            ++filesFailed;
        }
        for (const FolderListing::File &f : listing.files)
            uploadOne(current.local, current.remote, f.name, f.size);
        for (qsizetype i = listing.folders.size() - 1; i >= 0; --i) {
            const QString &sub = listing.folders[i];
            // The server's folder is named in text; a name that is no UTF-8 as a person reads it.
            pending.append({current.local + sub + QLatin1Char('/'), current.remote + userfiles::shown(sub) + QLatin1Char('/')});
        }
    }
}

void MultiUpload::uploadOne(const QString &localFolder, const QString &remoteFolder, const QString &name,
                            qint64 size)
{
    const QString path = localFolder + name;
    lblFileName->setText(QStringLiteral("正在发送文件:") + userfiles::shown(name));
    upload->setProgress(0);
    pump::once();
    bool sent = false;
    bool changed = false;
    try {
        CompondFile &package = upload->objPackage();
        package.RemoveAll();
        package.addFormData(QStringLiteral("path"), remoteFolder);
        package.AddUploadFile(name, path);
        upload->bDone = false;
        upload->UploadFile();
        upload->waitForAnswerOnly();
        sent = reportUnanswered(path);
        changed = upload->outcome() == UploadMachinery::Outcome::FileChanged;
    } catch (const AutomationError &e) {
        // Gone or unreadable since it was listed: say so and go on with the next.
        ui::messageBox(QStringLiteral("无法上传文件: ") + userfiles::shown(path) + QLatin1Char('\n') + e.description,
                       ui::Buttons::OK, ui::Icon::Exclamation);
    }
    if (!sent)
        ++filesFailed;
    // A file that changed while read was not sent, not even in part.
    if (!changed)
        lngSentSize += size;
    ++filesDone;
    showOverall();
    pump::once();
}

// One box for a file the server did not take, unless one was shown already (the
// error answer's, the changed file's) or the walk was given up with its owner.
bool MultiUpload::reportUnanswered(const QString &path)
{
    switch (upload->outcome()) {
    case UploadMachinery::Outcome::Answered:
        return true;
    case UploadMachinery::Outcome::NoConnection:
    case UploadMachinery::Outcome::TimedOut:
    case UploadMachinery::Outcome::ClosedWithoutAnswer:
        ui::messageBox(upload->outcomeReason() + QStringLiteral("：") + userfiles::shown(path), ui::Buttons::OK, ui::Icon::Critical,
                       QStringLiteral("文件上传时出错!"));
        return false;
    case UploadMachinery::Outcome::None:
    case UploadMachinery::Outcome::ErrorAnswer:
    case UploadMachinery::Outcome::FileChanged:
    case UploadMachinery::Outcome::Abandoned:
        break;
    }
    return false;
}

void MultiUpload::showOverall()
{
    double share = 0;
    if (lngTotalSize > 0)
        share = double(lngSentSize) / double(lngTotalSize);
    else if (filesTotal > 0)
        share = double(filesDone) / double(filesTotal);
    pb->setValue(UploadMachinery::roundHalfEven(qBound(0.0, share, 1.0) * 100.0));
}

} // namespace tx
