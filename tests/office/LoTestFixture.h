#pragma once
// What the LibreOffice backend tests share: their folders, the documents they
// write at test time, the instances' processes, and the fixture.
#include "office/WordAutomation.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QString>
#include <QStringList>
#include <gtest/gtest.h>
#include <memory>
#include <sys/types.h>

namespace lotest {

extern QString root;      // per-run scratch folder
extern QString sampleDir; // the generated documents
extern QString work;      // the conversions' work folder
constexpr int kRestartAfter = 10; // documents per instance in these tests

QByteArray digest(const QString &path);
// Work copies and lock files left in `dir`.
QStringList leftovers(const QString &dir);
// The running writer, or a new one.
std::unique_ptr<tx::office::WordApplication> word();
double ms(const QElapsedTimer &t);
// Writes the flat ODF samples and has LibreOffice turn them into OOXML (once).
void makeSamples();
// The process of this run's instance of `kind` ("writer", "calc"), 0 for none.
pid_t instancePid(const char *kind);
// The same as recorded by a process under the cache folder `cache`.
pid_t instancePidIn(const QString &cache, const QString &instance, const char *kind);
pid_t writerPid();

// The child sides of tests that start this program again.
enum class Leaving { AtExit, Killed, Abandoning };
int exitWithOpenDocument(const QString &file, Leaving how);
int startInBackground();
int importAfterBackgroundStart(const QString &file);

class LibreOfficeTest : public ::testing::Test {
protected:
    void SetUp() override;
};

} // namespace lotest
