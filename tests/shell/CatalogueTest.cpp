#include "shell/Catalogue.h"
#include "shell/Controls.h"
#include "shell/MemberCall.h"
#include "shell/TypeLibraryFile.h"
#include "platform/QtTranslations.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QStyle>
#include <QStyleOption>
#include <QGroupBox>
#include <QJsonArray>
#include <QLabel>
#include <QMetaMethod>
#include <QSet>
#include <QCoreApplication>
#include <QLocale>
#include <QTranslator>
#include <gtest/gtest.h>
#include <memory>

using namespace tx::com;
using tx::shell::findClass;
using tx::shell::typeLibrary;

namespace {

// The published interfaces, written out once more on purpose: a change to a
// dispatch id or a parameter kind breaks every compiled page and must be seen.
// Kinds: M method, G property get, P property get and put. Params: s string,
// r string by ref, i 32-bit integer, I optional 32-bit integer (default after '=').
struct Expected {
    const char *cls;
    uint32_t dispid;
    const char *name;
    char kind;
    const char *params;
    VarType result;
};

const Expected kExpected[] = {
    {"FileUpload", 0x40030008, "NewFileName", 'P', "", VarType::String},
    {"FileUpload", 0x60030000, "AddUploadFile", 'M', "rR", VarType::Void},
    {"FileUpload", 0x60030001, "addFormData", 'M', "rr", VarType::Void},
    {"FileUpload", 0x60030002, "UploadFile", 'M', "", VarType::Void},
    {"FileUpload", 0x60030007, "TestOK", 'M', "", VarType::Void},
    {"FileUpload", 0x60030008, "StartUpload", 'M', "sspi", VarType::Void},
    {"FileUpload", 0x6003000E, "GetFileSize", 'M', "p", VarType::Int32},
    {"OfficeImport", 0x60030000, "Init", 'M', "sssisI=0I=1", VarType::Void},
    {"OfficeImport", 0x60030002, "addFormData", 'M', "rr", VarType::Void},
    {"OfficeImport", 0x6003000C, "TestOK", 'M', "", VarType::Void},
    {"OfficeImport", 0x6003000D, "StartUpload", 'M', "spi", VarType::Void},
    {"OfficeImport", 0x60030017, "ImportTxtFile", 'M', "Ris", VarType::Int32},
    {"OfficeImport", 0x60030018, "ImportDocFile", 'M', "Rss", VarType::Int32},
    {"OfficeImport", 0x60030019, "ImportDocFileOnePage", 'M', "pss", VarType::Int32},
    {"OfficeImport", 0x6003001A, "ImportPPTFile", 'M', "Rss", VarType::Int32},
    {"OfficeImport", 0x6003001B, "ImportXlsFile", 'M', "Rss", VarType::Int32},
    {"OfficeImport", 0x6003001C, "ImportTxt", 'M', "rss", VarType::Int32},
    {"MultiUpload", 0x60030001, "AddUploadFile", 'M', "rR", VarType::Void},
    {"MultiUpload", 0x60030002, "addFormData", 'M', "rr", VarType::Void},
    {"MultiUpload", 0x60030003, "UploadFile", 'M', "", VarType::Void},
    {"MultiUpload", 0x6003000B, "StartUpload", 'M', "ss", VarType::Void},
    {"ImageImport", 0x60030000, "Init", 'M', "sssissI=0I=1", VarType::Void},
    {"ImageImport", 0x60030002, "addFormData", 'M', "rr", VarType::Void},
    {"ImageImport", 0x6003000A, "StartUpload", 'M', "p", VarType::Void},
    {"ScreenShot", 0x60030001, "BeginScreenShot", 'M', "ssi", VarType::Void},
    {"ScreenShot", 0x68030000, "FileName", 'G', "", VarType::String},
    {"Helper", 0x60030000, "ClipBoardHaveFile", 'M', "", VarType::Bool},
    {"Helper", 0x60030001, "GetClipFiles", 'M', "", VarType::String},
    {"Helper", 0x60030002, "getFileExtName", 'M', "r", VarType::String},
};

std::string paramCode(const MemberInfo &m)
{
    std::string s;
    for (const ParamInfo &p : m.params) {
        if (p.optional)
            s += "I=" + std::to_string(p.defaultValue);
        else if (p.type == VarType::Int32)
            s += 'i';
        else if (p.localPath) // a local file the member reads: R by reference, p by value
            s += p.byRef ? 'R' : 'p';
        else
            s += p.byRef ? 'r' : 's';
    }
    return s;
}

char kindCode(MemberKind k) { return k == MemberKind::Method ? 'M' : k == MemberKind::PropertyGet ? 'G' : 'P'; }

TEST(Catalogue, EveryMemberAsPublished)
{
    size_t total = 0;
    for (const ClassInfo &c : typeLibrary().classes)
        total += c.members.size();
    EXPECT_EQ(total, std::size(kExpected));
    for (const Expected &e : kExpected) {
        const ClassInfo *c = findClass(QString::fromLatin1(e.cls));
        ASSERT_TRUE(c) << e.cls;
        const MemberInfo *m = c->member(int32_t(e.dispid));
        ASSERT_TRUE(m) << e.cls << "." << e.name;
        EXPECT_STREQ(m->name, e.name);
        EXPECT_EQ(kindCode(m->kind), e.kind) << e.name;
        EXPECT_EQ(paramCode(*m), e.params) << e.cls << "." << e.name;
        EXPECT_EQ(m->result, e.result) << e.name;
        // Names resolve without regard to letter case.
        EXPECT_EQ(c->member(QString::fromLatin1(e.name).toUpper()), m);
        EXPECT_EQ(c->member(QString::fromLatin1(e.name).toLower()), m);
    }
}

TEST(Catalogue, ClassesIdentifiersAndPrivateClasses)
{
    const auto &lib = typeLibrary();
    EXPECT_EQ(lib.name, QStringLiteral("Tessarix5"));
    EXPECT_EQ(lib.description, QStringLiteral("Tessarix客户端辅助控件"));
    QStringList names;
    QSet<QString> ids{lib.libid.toString()};
    for (const ClassInfo &c : lib.classes) {
        names << QLatin1String(c.name);
        EXPECT_EQ(findClass(c.progId()), &c);
        EXPECT_EQ(findClass(c.clsid), &c);
        EXPECT_EQ(c.visible, !c.eventIid.isNull()) << c.name; // controls declare an event interface
        for (const Guid &g : {c.clsid, c.iid, c.eventIid}) {
            if (!g.isNull()) {
                EXPECT_FALSE(ids.contains(g.toString())) << c.name;
            }
        }
        ids << c.clsid.toString() << c.iid.toString() << c.eventIid.toString();
    }
    EXPECT_EQ(names, (QStringList{"FileUpload", "OfficeImport", "MultiUpload", "ImageImport", "ScreenShot", "Helper"}));
    for (const char *priv : {"CompondFile", "FormData", "UploadFile", "Tag", "Tessarix5.Tag"})
        EXPECT_FALSE(findClass(QString::fromLatin1(priv))) << priv;
}

TEST(Catalogue, TypeLibraryFileDescribesEveryClass)
{
    const QJsonObject lib = tx::shell::typeLibraryJson();
    EXPECT_EQ(lib.value("description").toString(), QStringLiteral("Tessarix客户端辅助控件"));
    const QJsonArray classes = lib.value("classes").toArray();
    ASSERT_EQ(classes.size(), 6);
    const QJsonObject fu = classes.at(0).toObject();
    EXPECT_EQ(fu.value("progId").toString(), QStringLiteral("Tessarix5.FileUpload"));
    EXPECT_EQ(fu.value("events").toObject().value("name").toString(), QStringLiteral("__FileUpload"));
    const QJsonArray members = fu.value("interface").toObject().value("members").toArray();
    EXPECT_EQ(members.at(0).toObject().value("dispid").toString(), QStringLiteral("40030008"));
    EXPECT_FALSE(classes.at(5).toObject().contains("events")); // Helper has no window
    EXPECT_EQ(lib.value("privateClasses").toArray().size(), 4);
}

// Every member a control has built is reachable with the published types; a
// control whose signature drifted from the type library shows here.
TEST(Catalogue, BuiltMembersMatchTheirControls)
{
    for (const ClassInfo &c : typeLibrary().classes) {
        std::unique_ptr<QObject> control(tx::shell::createControl(c));
        ASSERT_TRUE(control) << c.name;
        for (const MemberInfo &m : c.members) {
            if (m.isProperty() || !tx::shell::hasMember(control.get(), m))
                continue;
            const QMetaObject *mo = control->metaObject();
            for (int i = 0; i < mo->methodCount(); ++i) {
                const QMetaMethod method = mo->method(i);
                if (method.name() != m.name || method.parameterCount() != int(m.params.size()))
                    continue;
                for (size_t p = 0; p < m.params.size(); ++p) {
                    const QMetaType want = m.params[p].type == VarType::Int32 ? QMetaType::fromType<int>()
                                                                              : QMetaType::fromType<QString>();
                    EXPECT_EQ(method.parameterMetaType(int(p)), want) << c.name << "." << m.name << " #" << p;
                }
            }
        }
    }
}

// Widgets of a form that share pixels: siblings whose rectangles intersect, and
// children drawn over their group box's title or its top line.
QStringList overlaps(QWidget *form)
{
    QStringList out;
    const auto shown = [form](QWidget *w) { return w->isVisibleTo(form) && !w->isWindow(); };
    for (QWidget *parent : QList<QWidget *>{form} + form->findChildren<QWidget *>()) {
        if (!shown(parent) && parent != form)
            continue;
        QList<QWidget *> kids;
        for (QWidget *w : parent->findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (shown(w) && !w->objectName().isEmpty())
                kids << w;
        for (qsizetype i = 0; i < kids.size(); ++i)
            for (qsizetype j = i + 1; j < kids.size(); ++j)
                if (kids[i]->geometry().intersects(kids[j]->geometry()))
                    out << kids[i]->objectName() + QStringLiteral(" overlaps ") + kids[j]->objectName();
        auto *group = qobject_cast<QGroupBox *>(parent);
        if (!group || group->title().isEmpty())
            continue;
        QStyleOptionGroupBox option;
        option.initFrom(group);
        option.text = group->title();
        option.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
        const QRect inside = group->style()->subControlRect(QStyle::CC_GroupBox, &option, QStyle::SC_GroupBoxContents, group);
        for (QWidget *w : kids)
            if (w->y() < inside.top())
                out << w->objectName() + QStringLiteral(" covers the title or the top line of ") + group->objectName();
    }
    return out;
}

// Every form of every control as the page gets it: each caption fits the width its
// form gives it (a label, a button, an option, a frame's title, a drop-down list's
// longest item), and no two of its visible widgets overlap.
TEST(Catalogue, EveryCaptionFitsItsForm)
{
    for (const ClassInfo &c : typeLibrary().classes) {
        std::unique_ptr<QObject> control(tx::shell::createControl(c));
        ASSERT_TRUE(control) << c.name;
        auto *form = qobject_cast<QWidget *>(control.get());
        if (!form)
            continue;
        QStringList clipped;
        for (QWidget *w : form->findChildren<QWidget *>()) {
            QString caption;
            int needed = std::max(w->sizeHint().width(), w->minimumSizeHint().width());
            if (auto *b = qobject_cast<QAbstractButton *>(w))
                caption = b->text();
            else if (auto *l = qobject_cast<QLabel *>(w))
                caption = l->text();
            else if (auto *g = qobject_cast<QGroupBox *>(w))
                caption = g->title();
            else if (auto *box = qobject_cast<QComboBox *>(w)) {
                // The longest item, as the closed list shows it.
                QStyleOptionComboBox option;
                option.initFrom(box);
                option.editable = box->isEditable();
                int widest = 0;
                for (int i = 0; i < box->count(); ++i) {
                    const int width = box->fontMetrics().horizontalAdvance(box->itemText(i));
                    if (width > widest) {
                        widest = width;
                        caption = box->itemText(i);
                    }
                }
                needed = box->style()->sizeFromContents(QStyle::CT_ComboBox, &option, QSize(widest, 1), box).width();
            }
            if (!caption.isEmpty() && w->width() < needed)
                clipped << QStringLiteral("%1 \"%2\" %3 < %4").arg(w->objectName(), caption).arg(w->width()).arg(needed);
            // One line of a caption, as tall as the face writes it.
            const auto *label = qobject_cast<QLabel *>(w);
            if (!caption.isEmpty() && (qobject_cast<QAbstractButton *>(w) || (label && !label->wordWrap()))
                && w->height() < w->fontMetrics().height())
                clipped << QStringLiteral("%1 \"%2\" %3 px high < %4").arg(w->objectName(), caption).arg(w->height())
                               .arg(w->fontMetrics().height());
        }
        EXPECT_TRUE(clipped.isEmpty()) << c.name << ": " << clipped.join(QStringLiteral("; ")).toStdString()
                                       << " (in " << form->font().family().toStdString() << ")";
        const QStringList overlapping = overlaps(form);
        EXPECT_TRUE(overlapping.isEmpty()) << c.name << ": " << overlapping.join(QStringLiteral("; ")).toStdString();
    }
}

// A Chinese user's boxes say 是 and 否 rather than Yes and No; an English one's
// keep Qt's own words. Needs Debian's Qt translations (the set-up installs them).
TEST(Catalogue, QtsOwnWordsInTheUsersLanguage)
{
    const QString yes = QCoreApplication::translate("QPlatformTheme", "&Yes");
    const auto removeAll = [] {
        qDeleteAll(QCoreApplication::instance()->findChildren<QTranslator *>(QString(), Qt::FindDirectChildrenOnly));
    };
    if (!tx::ui::installQtTranslations(QLocale(QStringLiteral("zh_CN"))))
        GTEST_SKIP() << "no Qt translations for zh_CN installed (qt6-translations-l10n)";
    EXPECT_NE(QCoreApplication::translate("QPlatformTheme", "&Yes"), yes);
    EXPECT_TRUE(tx::ui::installQtTranslations(QLocale(QStringLiteral("zh_CN")))) << "installed once";
    removeAll();
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), yes);
    tx::ui::installQtTranslations(QLocale(QStringLiteral("en_US")));
    EXPECT_EQ(QCoreApplication::translate("QPlatformTheme", "&Yes"), yes);
    removeAll();
}

} // namespace
