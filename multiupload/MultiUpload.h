#pragma once
// The folder upload control: the user picks a local folder, and every file in it
// and below it is uploaded, one request per file, with the field "path" naming
// the remote folder it belongs in, so the server can rebuild the tree.
#include <QWidget>

class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;

namespace tx {

class UploadMachinery;

class MultiUpload : public QWidget {
    Q_OBJECT
public:
    explicit MultiUpload(QWidget *parent = nullptr);
    ~MultiUpload() override;

    Q_INVOKABLE void AddUploadFile(const QString &p_name, const QString &p_filename);
    Q_INVOKABLE void addFormData(const QString &p_FormDataName, const QString &p_FormDataValue);
    Q_INVOKABLE void UploadFile();
    // Takes the upload URL and the remote folder; uploads nothing.
    Q_INVOKABLE void StartUpload(const QString &sf, const QString &pUrl);

    UploadMachinery &machinery() { return *upload; }
    QString folder() const { return strFolder; }
    QString remoteFolder() const { return strRemoteFolder; }
    qint64 totalSize() const { return lngTotalSize; }
    qint64 sentSize() const { return lngSentSize; }

private:
    void Command1_Click();
    void Command2_Click();
    void UploadFolder(const QString &localFolder, const QString &remoteFolder);
    void uploadOne(const QString &localFolder, const QString &remoteFolder, const QString &name, qint64 size);
    // Shows the box for a file without an answer; true when the server took it.
    bool reportUnanswered(const QString &path);
    void showOverall();
    void enableStartWhenReady();

    QLabel *lblTitle = nullptr;
    QLabel *Label3 = nullptr;
    QLineEdit *txtDir = nullptr;
    QPushButton *Command1 = nullptr;
    QPushButton *Command2 = nullptr;
    QLabel *lblFileName = nullptr;
    QLabel *Label1 = nullptr;
    QProgressBar *pbFile = nullptr;
    QLabel *Label2 = nullptr;
    QProgressBar *pb = nullptr;
    UploadMachinery *upload = nullptr;

    QString strFolder;       // ends with "/"
    QString strRemoteFolder; // ends with "/"
    qint64 lngTotalSize = 0;
    qint64 lngSentSize = 0;
    // For the overall bar when every file is empty.
    qint64 filesTotal = 0;
    qint64 filesDone = 0;
    qint64 filesFailed = 0; // not taken by the server, for the closing message
    bool walking = false;
};

} // namespace tx
