#pragma once
// Where an office program puts what belongs to a saved work file "htm….tmp": the
// supporting folder ("….files") and the slide pictures' folder ("…" without the
// ending). Only the file's own ending changes, so a temporary folder whose path
// holds ".tmp" elsewhere never sends files outside it.
#include <QFile>
#include <QString>
#include <cerrno>
#include <sys/stat.h>

namespace tx::office {

inline QString withoutTmpEnding(const QString &workFile)
{
    return workFile.endsWith(QLatin1String(".tmp")) ? workFile.chopped(4) : workFile;
}

inline QString supportingFolder(const QString &workFile)
{
    return withoutTmpEnding(workFile) + QStringLiteral(".files");
}

inline QString slidesFolder(const QString &workFile)
{
    return withoutTmpEnding(workFile);
}

// Creates the folder (its parent must exist) readable by its owner only: what
// the office writes there is the user's documents. True when it is there now.
inline bool makePrivateFolder(const QString &path)
{
    return ::mkdir(QFile::encodeName(path).constData(), 0700) == 0 || errno == EEXIST;
}

} // namespace tx::office
