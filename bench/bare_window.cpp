// A bare Qt window program with the project's flags: the floor for start-up time.
#include <QApplication>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QTimer>

#include <cstdio>

int main(int argc, char** argv)
{
    QElapsedTimer t;
    t.start();
    QApplication app(argc, argv);
    QMainWindow w;
    w.resize(480, 360);
    w.show();
    QTimer::singleShot(0, &w, [&] {
        std::printf("shown %.3f\n", double(t.nsecsElapsed()) / 1e6);
        std::fflush(stdout);
        QCoreApplication::exit(0);
    });
    return app.exec();
}
