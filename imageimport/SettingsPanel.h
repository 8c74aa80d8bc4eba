#pragma once
// The settings part of the form: which fields are available when (scale mode,
// thumbnails, watermark, title), the check before a batch, and the settings as
// they stand for the next picture.
#include "imageimport/ArticleComposer.h"
#include "imageimport/UploadFields.h"

#include <QObject>

namespace tx::image {

struct ImageImportForm;

class SettingsPanel : public QObject {
    Q_OBJECT
public:
    SettingsPanel(ImageImportForm &form, QObject *parent);

    // Selects the scale mode at start-up through its rule.
    void start();

    void applyScaleRule();
    void applySmallPicRule();
    void applyStampRule();
    void applyTitleRule();

    // False, with a message and the focus on the field, when a wanted thumbnail
    // size or watermark text is missing.
    bool ValidateSettings();

    PictureSettings pictureSettings() const;
    ArticleMode articleMode() const;
    bool titleByName() const;
    QString setTitle() const;

private:
    ImageImportForm &f;
};

} // namespace tx::image
