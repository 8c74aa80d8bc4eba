#pragma once
// The list of pictures to import: adding them through the open-file dialog,
// removing the selected ones, the preview of the current one with its name and
// size, and the tool tip naming the entry under the pointer.
#include <QObject>
#include <QString>

namespace tx::image {

struct ImageImportForm;

class PictureList : public QObject {
    Q_OBJECT
public:
    PictureList(ImageImportForm &form, QObject *parent);

    void addFiles();
    void removeSelected();
    void ShowPreview();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    // Appends the path when its kind is one of the three picture kinds; otherwise
    // tells the user.
    void offer(const QString &path, const QString &kind);
    void updateToolTip(const QPoint &pos);

    ImageImportForm &f;
    QString previewed;     // the path the preview shows
    bool removing = false; // the current entry moves as entries go; the preview stays
};

} // namespace tx::image
