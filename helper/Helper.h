#pragma once
// The invisible object that tells a page which picture files the user has copied
// (for example in the file manager), and a file name's extension.
#include <QObject>
#include <QString>

namespace tx {

class Helper : public QObject {
    Q_OBJECT
public:
    explicit Helper(QObject *parent = nullptr);

    // True when GetClipFiles would give a non-empty string.
    Q_INVOKABLE bool ClipBoardHaveFile();
    // The copied gif, jpg, png and jpeg files, in clipboard order, joined by "||".
    Q_INVOKABLE QString GetClipFiles();
    // The text after the last "." of the whole string, or empty.
    Q_INVOKABLE QString getFileExtName(const QString &FileName);
};

} // namespace tx
