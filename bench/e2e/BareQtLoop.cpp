#include "BareQtLoop.h"

#include <QCoreApplication>
#include <QTimer>

#include <csignal>
#include <sys/wait.h>
#include <unistd.h>

BareQtLoop::BareQtLoop()
{
    pid_ = fork();
    if (pid_ != 0)
        return;
    int argc = 1;
    char name[] = "bare-qt-loop";
    char* argv[] = {name, nullptr};
    QCoreApplication application(argc, argv);
    QTimer timer;
    QObject::connect(&timer, &QTimer::timeout, [] {});
    timer.start(250);
    _exit(application.exec());
}

BareQtLoop::~BareQtLoop()
{
    if (pid_ > 0) {
        kill(pid_, SIGKILL);
        waitpid(pid_, nullptr, 0);
    }
}
