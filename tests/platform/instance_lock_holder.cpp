// A second program on a data folder: takes the folder's lock, says what it found on its
// standard output ("held", "busy <pid>" or "failed"), and keeps the lock until its
// standard input ends.

#include "platform/InstanceLock.h"

#include <QCoreApplication>
#include <QFile>

#include <cstdio>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    if (argc != 2)
        return 2;
    InstanceLock lock(QString::fromLocal8Bit(argv[1]));
    switch (lock.acquire()) {
    case InstanceLock::State::Held:
        std::printf("held\n");
        break;
    case InstanceLock::State::HeldElsewhere:
        std::printf("busy %lld\n", lock.holderPid());
        return 1;
    case InstanceLock::State::ReadOnly:
    case InstanceLock::State::Failed:
        std::printf("failed\n");
        return 1;
    }
    std::fflush(stdout);
    QFile in;
    if (in.open(stdin, QIODevice::ReadOnly))
        in.readAll(); // until the test closes our input, or kills us
    return 0;
}
