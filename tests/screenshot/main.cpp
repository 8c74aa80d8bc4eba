#include <QApplication>

int runGeometryTests(int argc, char **argv);
int runScreenShotTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failed = runGeometryTests(argc, argv);
    failed += runScreenShotTests(argc, argv);
    return failed;
}
