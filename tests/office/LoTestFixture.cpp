#include "LoTestFixture.h"

#include "OfficeSamples.h"
#include "office/OfficeBackend.h"
#include "office/OfficeConstants.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QStandardPaths>
#include <iostream>

using namespace tx::office;

namespace lotest {


QString root;
QString sampleDir;
QString work;

QByteArray digest(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QCryptographicHash::hash(f.readAll(), QCryptographicHash::Sha256)
                                       : QByteArray();
}


QStringList leftovers(const QString &dir)
{
    return QDir(dir).entryList({".~lock*", "~tx*"}, QDir::Files | QDir::Dirs | QDir::NoDotAndDotDot | QDir::Hidden);
}

std::unique_ptr<WordApplication> word()
{
    auto app = backend().attachWord();
    return app ? std::move(app) : backend().createWord();
}

double ms(const QElapsedTimer &t)
{
    return t.nsecsElapsed() / 1e6;
}

// Writes the flat ODF samples and has LibreOffice turn them into OOXML.
void makeSamples()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    samples::writeText(sampleDir + "/three.fodt", 3, 2);
    samples::writeText(sampleDir + "/twelve.fodt", 12, 0);
    samples::writeProse(sampleDir + "/prose.fodt", 40, true);
    samples::writeMixed(sampleDir + "/mixed.fodt");
    samples::writePresentation(sampleDir + "/two.fodp", {"First slide", "Second slide"}, "en", "US");
    samples::writePresentation(sampleDir + "/zh.fodp", {"一", "二", "三"}, "zh", "CN");
    samples::writeSpreadsheet(sampleDir + "/three.fods", {"Alpha", "Beta", "Gamma"}, 2);

    QElapsedTimer t;
    t.start();
    auto w = backend().createWord();
    std::cout << "[timing] cold start of the writer instance: " << ms(t) << " ms" << std::endl;
    for (const char *name : {"three", "twelve", "prose", "mixed"}) {
        auto doc = w->DocumentsOpen(sampleDir + "/" + name + ".fodt");
        doc->SaveAs(sampleDir + "/" + name + ".docx", wdFormatXMLDocument);
        doc->Close(false, false);
    }
    auto pp = backend().createPowerPoint();
    for (const char *name : {"two", "zh"}) {
        auto p = pp->PresentationsOpen(sampleDir + "/" + name + ".fodp");
        p->SaveAs(sampleDir + "/" + name + ".pptx", ppSaveAsOpenXMLPresentation);
        p->Close();
    }
    auto xl = backend().createExcel();
    auto book = xl->WorkbooksOpen(sampleDir + "/three.fods");
    book->SaveAs(sampleDir + "/three.xlsx", xlOpenXMLWorkbook, xlNoChange);
    book->Close();
}

void LibreOfficeTest::SetUp()
{
    backend().setCallTimeLimitMs(kDefaultCallTimeLimitMs);
    makeSamples();
}

pid_t instancePidIn(const QString &cache, const QString &instance, const char *kind)
{
    QFile f(cache + "/tessarix/lo-" + instance + "-" + kind + ".pid");
    return f.open(QIODevice::ReadOnly) ? pid_t(f.readAll().trimmed().toLongLong()) : 0;
}

pid_t instancePid(const char *kind)
{
    return instancePidIn(QStandardPaths::writableLocation(QStandardPaths::GenericCacheLocation),
                         qEnvironmentVariable("TESSARIX_OFFICE_INSTANCE"), kind);
}

pid_t writerPid()
{
    return instancePid("writer");
}

} // namespace lotest
