#include "officeimport/OfficeImport.h"

namespace tx {

OfficeImport::OfficeImport(QWidget *parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("OfficeImport"));
}

} // namespace tx
