// The built library through its four entry points, loaded with dlopen as the host
// loads it.
#include "shell/com/Interfaces.h"
#include "shell/com/Registry.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <dlfcn.h>
#include <gtest/gtest.h>

using namespace tx::com;

namespace {

struct Server {
    DllGetClassObjectFn getClassObject;
    DllCanUnloadNowFn canUnloadNow;
    DllRegisterServerFn registerServer;
    DllUnregisterServerFn unregisterServer;
};

const Server &server()
{
    static const Server s = [] {
        void *h = dlopen(TX_PELLIFORM, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
        EXPECT_TRUE(h) << dlerror();
        return Server{reinterpret_cast<DllGetClassObjectFn>(dlsym(h, "DllGetClassObject")),
                      reinterpret_cast<DllCanUnloadNowFn>(dlsym(h, "DllCanUnloadNow")),
                      reinterpret_cast<DllRegisterServerFn>(dlsym(h, "DllRegisterServer")),
                      reinterpret_cast<DllUnregisterServerFn>(dlsym(h, "DllUnregisterServer"))};
    }();
    return s;
}

template <typename T> T *get(const Guid &clsid, const Guid &iid, HRESULT *hr = nullptr)
{
    void *out = nullptr;
    const HRESULT r = server().getClassObject(&clsid, &iid, &out);
    if (hr)
        *hr = r;
    return static_cast<T *>(out);
}

std::vector<const ClassInfo *> publicClasses()
{
    auto *lib = get<ITypeLibrary>(LIBID_Tessarix5, IID_ITypeLibrary);
    std::vector<const ClassInfo *> out;
    for (uint32_t i = 0; i < lib->ClassCount(); ++i)
        out.push_back(lib->ClassAt(i));
    lib->Release();
    return out;
}

void settle() { QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete); }

TEST(Server, ExportsOnlyTheEntryPoints)
{
    void *h = dlopen(TX_PELLIFORM, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE);
    ASSERT_TRUE(h);
    EXPECT_TRUE(server().getClassObject && server().canUnloadNow && server().registerServer &&
                server().unregisterServer);
    // The layers inside stay inside (the host has its own copy of them).
    EXPECT_EQ(dlsym(h, "_ZNK2tx3com4Guid8toStringEv"), nullptr);
}

TEST(Server, EveryPublicClassIsCreatedSafeAndReleased)
{
    const auto classes = publicClasses();
    ASSERT_EQ(classes.size(), 6u);
    for (const ClassInfo *c : classes) {
        auto *factory = get<IClassFactory>(c->clsid, IID_IClassFactory);
        ASSERT_TRUE(factory) << c->name;
        void *out = nullptr;
        int dummy = 0;
        EXPECT_EQ(factory->CreateInstance(reinterpret_cast<IUnknown *>(&dummy), IID_IDispatch, &out),
                  CLASS_E_NOAGGREGATION);
        ASSERT_EQ(factory->CreateInstance(nullptr, IID_IDispatch, &out), S_OK) << c->name;
        factory->Release();
        auto *dispatch = static_cast<IDispatch *>(out);
        EXPECT_EQ(server().canUnloadNow(), S_FALSE);

        const ClassInfo *info = nullptr;
        ASSERT_EQ(dispatch->GetTypeInfo(&info), S_OK);
        EXPECT_EQ(info, c);
        ASSERT_EQ(dispatch->QueryInterface(IID_IObjectSafety, &out), S_OK);
        auto *safety = static_cast<IObjectSafety *>(out);
        uint32_t supported = 0, enabled = 0;
        EXPECT_EQ(safety->GetInterfaceSafetyOptions(&IID_IDispatch, &supported, &enabled), S_OK);
        EXPECT_EQ(supported, 3u);
        EXPECT_EQ(enabled, 1u);
        EXPECT_EQ(safety->SetInterfaceSafetyOptions(&IID_IPersistPropertyBag, 2, 2), S_OK);
        safety->Release();
        ASSERT_EQ(dispatch->QueryInterface(IID_IControlObject, &out), S_OK);
        auto *control = static_cast<IControlObject *>(out);
        ASSERT_TRUE(control->controlObject());
        EXPECT_EQ(control->controlObject()->isWidgetType(), c->visible) << c->name;
        control->Release();
        dispatch->Release();
        settle();
        EXPECT_EQ(server().canUnloadNow(), S_OK) << c->name;
    }
}

TEST(Server, UnknownAndPrivateClassesAreNotAvailable)
{
    HRESULT hr = S_OK;
    EXPECT_EQ(get<IClassFactory>(guid("00000000-0000-0000-0000-000000000001"), IID_IClassFactory, &hr), nullptr);
    EXPECT_EQ(hr, CLASS_E_CLASSNOTAVAILABLE);
    auto *lib = get<ITypeLibrary>(LIBID_Tessarix5, IID_ITypeLibrary);
    ASSERT_TRUE(lib);
    for (const char *name : {"Tessarix5.CompondFile", "Tessarix5.FormData", "Tessarix5.UploadFile", "Tessarix5.Tag",
                             "Tessarix5.Nothing"}) {
        const ClassInfo *info = nullptr;
        EXPECT_EQ(lib->FindClass(QLatin1String(name), &info), CLASS_E_CLASSNOTAVAILABLE) << name;
    }
    const ClassInfo *info = nullptr;
    EXPECT_EQ(lib->FindClass(QStringLiteral("tessarix5.fileupload"), &info), S_OK);
    lib->Release();
    settle();
    EXPECT_EQ(server().canUnloadNow(), S_OK);
}

TEST(Server, LockServerKeepsTheLibrary)
{
    auto *factory = get<IClassFactory>(publicClasses()[0]->clsid, IID_IClassFactory);
    ASSERT_TRUE(factory);
    factory->LockServer(true);
    factory->Release();
    EXPECT_EQ(server().canUnloadNow(), S_FALSE);
    factory = get<IClassFactory>(publicClasses()[0]->clsid, IID_IClassFactory);
    factory->LockServer(false);
    EXPECT_EQ(server().canUnloadNow(), S_FALSE); // the factory itself still lives
    // Unlocks past zero are harmless: the next lock still holds the library.
    EXPECT_EQ(factory->LockServer(false), S_OK);
    EXPECT_EQ(factory->LockServer(false), S_OK);
    factory->LockServer(true);
    factory->Release();
    EXPECT_EQ(server().canUnloadNow(), S_FALSE);
    factory = get<IClassFactory>(publicClasses()[0]->clsid, IID_IClassFactory);
    factory->LockServer(false);
    factory->Release();
    EXPECT_EQ(server().canUnloadNow(), S_OK);
}

TEST(Server, RegistrationThenUnregistrationLeavesNoEntry)
{
    QTemporaryDir home;
    qputenv("XDG_CONFIG_HOME", home.path().toLocal8Bit());
    const QString library = QFileInfo(QStringLiteral(TX_PELLIFORM)).canonicalFilePath();

    // Someone else's entry shares the registry and must survive us.
    QJsonObject foreign{{"ProgID", QJsonObject{{"Other.Thing", QJsonObject{{"CLSID", "{00000000-0000-0000-0000-00000000000A}"}}}}}};
    ASSERT_TRUE(registry::save(foreign));

    ASSERT_EQ(server().registerServer(), S_OK);
    const QJsonObject root = registry::load();
    EXPECT_EQ(root.value("ProgID").toObject().size(), 7);
    EXPECT_EQ(root.value("CLSID").toObject().size(), 6);
    EXPECT_EQ(root.value("Interface").toObject().size(), 11); // six dispatch + five event interfaces
    const QJsonObject typeLib = root.value("TypeLib").toObject().value(LIBID_Tessarix5.toString()).toObject();
    EXPECT_EQ(typeLib.value("description").toString(), QStringLiteral("Tessarix客户端辅助控件"));
    QFile file(typeLib.value("path").toString());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(QJsonDocument::fromJson(file.readAll()).object().value("name").toString(), QStringLiteral("Tessarix5"));
    file.close();

    const auto entry = registry::lookupProgId(QStringLiteral("TESSARIX5.FILEUPLOAD"));
    ASSERT_TRUE(entry);
    EXPECT_EQ(entry->library, library);
    EXPECT_EQ(entry->clsid, publicClasses()[0]->clsid);
    EXPECT_FALSE(registry::lookupProgId(QStringLiteral("Tessarix5.CompondFile")));

    // Registering twice changes nothing.
    ASSERT_EQ(server().registerServer(), S_OK);
    EXPECT_EQ(registry::load(), root);

    ASSERT_EQ(server().unregisterServer(), S_OK);
    EXPECT_EQ(registry::load(), foreign);
    EXPECT_FALSE(QFile::exists(file.fileName()));

    // Alone in the registry, unregistering leaves no file at all.
    ASSERT_TRUE(registry::save(QJsonObject{}));
    ASSERT_EQ(server().registerServer(), S_OK);
    ASSERT_EQ(server().unregisterServer(), S_OK);
    EXPECT_FALSE(QFile::exists(registry::filePath()));

    // A damaged registry holds others' entries: neither entry point touches it.
    for (const QByteArray &damaged : {QJsonDocument(foreign).toJson().left(40), QByteArray(), QByteArray("[1, 2]"),
                                      QByteArray(R"({"ProgID": "x"})")}) {
        QFile f(registry::filePath());
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(damaged);
        f.close();
        EXPECT_FALSE(registry::damage().isEmpty()) << damaged.constData();
        EXPECT_LT(server().registerServer(), 0) << damaged.constData();
        EXPECT_LT(server().unregisterServer(), 0) << damaged.constData();
        ASSERT_TRUE(f.open(QIODevice::ReadOnly));
        EXPECT_EQ(f.readAll(), damaged);
        EXPECT_FALSE(registry::lookupProgId(QStringLiteral("Other.Thing")));
    }
    EXPECT_FALSE(QFile::exists(file.fileName()));
    qunsetenv("XDG_CONFIG_HOME");
}

} // namespace
