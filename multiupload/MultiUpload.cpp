#include "multiupload/MultiUpload.h"

namespace tx {

MultiUpload::MultiUpload(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("MultiUpload"));
}

} // namespace tx
