#include <QApplication>

int runGeometryTests(int argc, char **argv);
int runOverlayTests(int argc, char **argv);
int runCaptureTests(int argc, char **argv);

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    int failed = runGeometryTests(argc, argv);
    failed += runOverlayTests(argc, argv);
    failed += runCaptureTests(argc, argv);
    return failed;
}
