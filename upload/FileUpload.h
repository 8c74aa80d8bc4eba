#pragma once
// The single-file upload control: a progress bar on the page that uploads one
// local file with two form fields and hands back the server's answer.
#include <QWidget>

class QProgressBar;

namespace tx {

class UploadMachinery;

class FileUpload : public QWidget {
    Q_OBJECT
    Q_PROPERTY(QString NewFileName READ NewFileName WRITE setNewFileName)
public:
    explicit FileUpload(QWidget *parent = nullptr);

    QString NewFileName() const;
    void setNewFileName(const QString &v);

    Q_INVOKABLE void AddUploadFile(const QString &p_name, const QString &p_filename);
    Q_INVOKABLE void addFormData(const QString &p_FormDataName, const QString &p_FormDataValue);
    Q_INVOKABLE void UploadFile();
    Q_INVOKABLE void TestOK();
    Q_INVOKABLE void StartUpload(const QString &sf, const QString &pUrl, const QString &localfile, int contentid);
    Q_INVOKABLE int GetFileSize(const QString &p_filename);

    UploadMachinery &machinery() { return *upload; }

private:
    QProgressBar *pbFile = nullptr;
    UploadMachinery *upload = nullptr;
};

} // namespace tx
