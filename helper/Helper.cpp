#include "helper/Helper.h"

namespace tx {

Helper::Helper(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("Helper"));
}

} // namespace tx
