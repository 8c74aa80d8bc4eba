#pragma once
// The image import control: the editor picks pictures, chooses thumbnail,
// watermark and article settings, and publishes the batch as articles.
#include <QString>
#include <QWidget>
#include <memory>

namespace tx {

class UploadMachinery;

namespace image {
struct ImageImportForm;
class SettingsPanel;
class PictureList;
class ImageBatch;
} // namespace image

// Scriptable members are Q_INVOKABLE methods and Q_PROPERTYs named exactly as the
// type library names them; the shell's dispatch reaches them by name.
class ImageImport : public QWidget {
    Q_OBJECT
public:
    explicit ImageImport(QWidget *parent = nullptr);
    ~ImageImport() override;

    // Where pictures go (UploadUrl: host, port and path for both requests), where
    // articles go (only PostUrl's path counts), and what the articles carry.
    Q_INVOKABLE void Init(const QString &UploadUrl, const QString &PostUrl, const QString &strPath, int pColumnid,
                          const QString &pUserName, const QString &strWater, int pIssueid, int pObjectType);
    Q_INVOKABLE void addFormData(const QString &p_FormDataName, const QString &p_FormDataValue);
    // Uploads one file with the fields the package holds now; the package is not
    // emptied. An upload that got no answer counts as an error answer.
    Q_INVOKABLE void StartUpload(const QString &localfile);

    bool ValidateSettings();
    void RunBatch();
    // One line into lstLog.
    void log(const QString &line);

    // State the batch and the tests read.
    QString strPostPath;
    QString strCurPath;
    int lngColumnId = 0;
    QString strUserName;
    QString strIssueId;
    QString strObjectType;
    bool bRunning = false;

    UploadMachinery &machinery() { return *upload; }
    const QString &strAnswer() const;
    image::ImageImportForm &form() { return *f; }
    image::SettingsPanel &settings() { return *panel; }

private:
    void onCancel();

    std::unique_ptr<image::ImageImportForm> f;
    UploadMachinery *upload = nullptr;
    image::SettingsPanel *panel = nullptr;
    image::PictureList *pictures = nullptr;
};

} // namespace tx
