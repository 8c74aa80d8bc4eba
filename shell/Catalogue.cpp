#include "shell/Catalogue.h"

#include "shell/com/Interfaces.h"

namespace tx::shell {
namespace {

using namespace tx::com;

constexpr VarType Str = VarType::String;
constexpr VarType Int = VarType::Int32;
constexpr VarType Void = VarType::Void;
constexpr MemberKind Method = MemberKind::Method;

ParamInfo str(const char *name) { return {name, Str}; }
ParamInfo strRef(const char *name) { return {name, Str, true}; }
ParamInfo i32(const char *name) { return {name, Int}; }
// A local file or folder: a host that lets less trusted pages in can hold these back.
ParamInfo path(const char *name) { return {name, Str, false, false, 0, true}; }
ParamInfo pathRef(const char *name) { return {name, Str, true, false, 0, true}; }
ParamInfo optI32(const char *name, int32_t def) { return {name, Int, false, true, def}; }

// These identifiers are fixed forever: pages and registries refer to them.
TypeLibrary build()
{
    TypeLibrary lib;
    lib.name = QStringLiteral("Tessarix5");
    lib.description = QStringLiteral("Tessarix客户端辅助控件");
    lib.libid = LIBID_Tessarix5;
    lib.majorVersion = 1;
    lib.minorVersion = 0;

    lib.classes.push_back(ClassInfo{
        "FileUpload", guid("241375BF-743A-4CE9-B537-0E0C4CAC84D1"),
        guid("F80C1C76-BACE-4F10-AAB4-58B1E18D259B"), guid("5878D877-ADE2-4925-9475-D83B8B350257"), true,
        {
            {0x40030008, "NewFileName", MemberKind::PropertyGetPut, {}, Str},
            {0x60030000, "AddUploadFile", Method, {strRef("p_name"), pathRef("p_filename")}, Void},
            {0x60030001, "addFormData", Method, {strRef("p_FormDataName"), strRef("p_FormDataValue")}, Void},
            {0x60030002, "UploadFile", Method, {}, Void},
            {0x60030007, "TestOK", Method, {}, Void},
            {0x60030008, "StartUpload", Method, {str("sf"), str("pUrl"), path("localfile"), i32("contentid")}, Void},
            {0x6003000E, "GetFileSize", Method, {path("p_filename")}, Int},
        }});

    lib.classes.push_back(ClassInfo{
        "OfficeImport", guid("B2D4BC45-7E0E-4D21-93CE-57E6DF5FDD3D"),
        guid("E3BCF4EF-AB73-4592-A87B-6427E165C062"), guid("692994C9-ADB3-4EB6-93F4-27B0936D2A40"), true,
        {
            {0x60030000, "Init", Method,
             {str("UploadUrl"), str("PostUrl"), str("strPath"), i32("pColumnid"), str("pUserName"),
              optI32("pIssueid", 0), optI32("pObjectType", 1)},
             Void},
            {0x60030002, "addFormData", Method, {strRef("p_FormDataName"), strRef("p_FormDataValue")}, Void},
            {0x6003000C, "TestOK", Method, {}, Void},
            {0x6003000D, "StartUpload", Method, {str("sf"), path("localfile"), i32("contentid")}, Void},
            {0x60030017, "ImportTxtFile", Method, {pathRef("fileDoc"), i32("colID"), str("UserName")}, Int},
            {0x60030018, "ImportDocFile", Method, {pathRef("fileDoc"), str("colID"), str("UserName")}, Int},
            {0x60030019, "ImportDocFileOnePage", Method, {path("fileDoc"), str("colID"), str("UserName")}, Int},
            {0x6003001A, "ImportPPTFile", Method, {pathRef("fileDoc"), str("colID"), str("UserName")}, Int},
            {0x6003001B, "ImportXlsFile", Method, {pathRef("fileDoc"), str("colID"), str("UserName")}, Int},
            {0x6003001C, "ImportTxt", Method, {strRef("varText"), str("colID"), str("UserName")}, Int},
        }});

    lib.classes.push_back(ClassInfo{
        "MultiUpload", guid("7FA60B24-5B40-49F0-8240-24873A387BD2"),
        guid("95C82E0D-EF42-46DA-AF92-436C104A9D5C"), guid("70B8AED6-B67B-4DF9-B361-92250A15FC09"), true,
        {
            {0x60030001, "AddUploadFile", Method, {strRef("p_name"), pathRef("p_filename")}, Void},
            {0x60030002, "addFormData", Method, {strRef("p_FormDataName"), strRef("p_FormDataValue")}, Void},
            {0x60030003, "UploadFile", Method, {}, Void},
            {0x6003000B, "StartUpload", Method, {str("sf"), str("pUrl")}, Void},
        }});

    lib.classes.push_back(ClassInfo{
        "ImageImport", guid("23371E1A-A01F-454E-962B-79DDE8124311"),
        guid("D4FE9848-15E5-4500-BBDB-7F8457A79201"), guid("57693BD0-9A18-4458-AFF7-70585982FF97"), true,
        {
            {0x60030000, "Init", Method,
             {str("UploadUrl"), str("PostUrl"), str("strPath"), i32("pColumnid"), str("pUserName"), str("strWater"),
              optI32("pIssueid", 0), optI32("pObjectType", 1)},
             Void},
            {0x60030002, "addFormData", Method, {strRef("p_FormDataName"), strRef("p_FormDataValue")}, Void},
            {0x6003000A, "StartUpload", Method, {path("localfile")}, Void},
        }});

    lib.classes.push_back(ClassInfo{
        "ScreenShot", guid("6C153B70-EB20-4B82-A5E5-6B0C9E75A897"),
        guid("9AAFE6B8-1B6D-43BE-B261-5DE1B627AF08"), guid("FA462BB0-BD77-41F1-AFAF-7EB347B8CFC4"), true,
        {
            {0x60030001, "BeginScreenShot", Method, {str("sf"), str("pUrl"), i32("contentid")}, Void},
            {0x68030000, "FileName", MemberKind::PropertyGet, {}, Str},
        }});

    lib.classes.push_back(ClassInfo{
        "Helper", guid("4B6B1CFC-A0B2-47C6-992D-545C82E7235E"), guid("006510A5-07DF-4C62-ADFB-6292B837A255"),
        Guid{}, false,
        {
            {0x60030000, "ClipBoardHaveFile", Method, {}, VarType::Bool},
            {0x60030001, "GetClipFiles", Method, {}, Str},
            {0x60030002, "getFileExtName", Method, {strRef("FileName")}, Str},
        }});

    lib.privateClasses = {QStringLiteral("CompondFile"), QStringLiteral("FormData"), QStringLiteral("UploadFile"),
                          QStringLiteral("Tag")};
    return lib;
}

} // namespace

const TypeLibrary &typeLibrary()
{
    static const TypeLibrary lib = build();
    return lib;
}

const com::ClassInfo *findClass(const com::Guid &clsid)
{
    for (const com::ClassInfo &c : typeLibrary().classes)
        if (c.clsid == clsid)
            return &c;
    return nullptr;
}

const com::ClassInfo *findClass(QStringView nameOrProgId)
{
    for (const com::ClassInfo &c : typeLibrary().classes)
        if (nameOrProgId.compare(QLatin1String(c.name), Qt::CaseInsensitive) == 0 ||
            nameOrProgId.compare(c.progId(), Qt::CaseInsensitive) == 0)
            return &c;
    return nullptr;
}

} // namespace tx::shell
