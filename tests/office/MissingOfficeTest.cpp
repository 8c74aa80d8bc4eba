// Without the LibreOffice module the component still loads: attaching finds
// nothing and creating fails at once with error 429 naming soffice.
#include "office/OfficeBackend.h"

#include "core/AutomationError.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

using namespace tx::office;

TEST(MissingOffice, CreateFailsAtOnceWith429)
{
    ASSERT_EQ(backend().name(), "missing");
    EXPECT_EQ(backend().attachWord(), nullptr);
    EXPECT_EQ(backend().attachPowerPoint(), nullptr);
    EXPECT_EQ(backend().attachExcel(), nullptr);
    QElapsedTimer t;
    t.start();
    for (int kind = 0; kind < 3; ++kind) {
        try {
            if (kind == 0)
                backend().createWord();
            else if (kind == 1)
                backend().createPowerPoint();
            else
                backend().createExcel();
            FAIL() << "created without LibreOffice";
        } catch (const tx::AutomationError &e) {
            EXPECT_EQ(e.number, tx::ErrCantCreateObject);
            EXPECT_TRUE(e.description.contains(QLatin1String("soffice: "))) << e.description.toStdString();
        }
    }
    EXPECT_LT(t.elapsed(), 1000);
}
