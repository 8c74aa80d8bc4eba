#pragma once
// One HTML tag as the scanner reads it: name, source text and attributes.
#include <QHash>
#include <QList>
#include <QString>
#include <utility>

namespace tx {

// Attributes in order of first insertion; setting a present key replaces its
// value in place; a missing key reads as empty. Keys are stored as given (the
// Tag lowers them). Small maps search linearly; larger ones keep an index, so a
// tag with many attributes still costs linear time.
class TagAttributes {
public:
    QString value(const QString &key) const;
    void set(QString key, QString value);
    bool contains(const QString &key) const { return find(key) >= 0; }
    qsizetype count() const { return entries.size(); }
    void clear()
    {
        entries.clear(); // keeps its storage for the next tag
        index.clear();
    }
    const QList<std::pair<QString, QString>> &items() const { return entries; }

private:
    qsizetype find(const QString &key) const;

    QList<std::pair<QString, QString>> entries;
    QHash<QString, qsizetype> index; // filled once entries outgrow a linear search
};

class Tag {
public:
    // Always lower case, code unit by code unit.
    QString TagName() const { return pTagName; }
    void setTagName(QStringView newVal);

    QString GetAttribute(QStringView strAtt) const;
    void SetAttribute(QStringView attName, QString attValue);
    QString ToString() const { return SourceHTML; }

    // From "<" through ">" (a comment through "-->") as written; empty when no
    // complete tag was found. The cleaner replaces it with the rebuilt text.
    QString SourceHTML;
    TagAttributes dicAtt;

private:
    friend class HtmlCleaner; // the scanner sets names it has already lowered
    QString pTagName;
};

} // namespace tx
