#include "imageimport/ImageImport.h"

namespace tx {

ImageImport::ImageImport(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("ImageImport"));
}

} // namespace tx
