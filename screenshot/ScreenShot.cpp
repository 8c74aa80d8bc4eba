#include "screenshot/ScreenShot.h"

#include "core/TempFolder.h"
#include "screenshot/Form1.h"

namespace tx {

ScreenShot::ScreenShot(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ScreenShot"));
    resize(1, 1); // no face on the page
}

void ScreenShot::BeginScreenShot(const QString &sf, const QString &pUrl, int contentid)
{
    Form1Fields &f = Form1::fields();
    // A call from inside a running capture is refused by showModal and must not
    // disturb that capture's fields.
    const bool nested = Form1::isOpen();
    try {
        if (!nested) {
            f.FileName.clear();
            const QString path = temp::folder() + QStringLiteral("/screenshot.jpg");
            f.sf = sf;
            f.pUrl = pUrl;
            f.contentid = contentid;
            f.FileName = path;
        }
        Form1::showModal(this);
    } catch (...) {
        // A local path left behind would look like an uploaded file's name.
        if (!nested)
            f.FileName.clear();
        throw;
    }
}

QString ScreenShot::FileName() const
{
    return Form1::fields().FileName;
}

} // namespace tx
