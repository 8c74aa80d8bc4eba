#pragma once
// The form fields of the image import's two requests, in the order they are sent.
#include <QList>
#include <QPair>
#include <QString>

namespace tx::image {

using Fields = QList<QPair<QString, QString>>;

// The thumbnail and watermark settings as the form shows them when a picture is
// taken up; read afresh for every picture.
struct PictureSettings {
    bool thumbnail = true;
    QString scaleText;
    QString widthText;
    QString heightText;
    bool watermark = false;
    QString stampText;
    int position = 1;
    int color = 255;
    int bkColor = 255;
};

// The fields of one picture upload; w0 × h0 is the picture's pixel size. The
// thumbnail size is worked out only when a thumbnail is wanted.
Fields pictureFields(const QString &curPath, const PictureSettings &s, int w0, int h0);

struct ArticleFields {
    int columnId = 0;
    QString issueId;
    QString objectType;
    QString title;
    QString content;
    QString author;
};
Fields articleFields(const ArticleFields &a);

} // namespace tx::image
