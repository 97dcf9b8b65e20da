#include "platform/system/SystemInfo.h"

#include <QLocale>
#include <QSysInfo>

namespace SystemInfo {

std::string productName()
{
    return QSysInfo::prettyProductName().toStdString();
}

std::string architecture()
{
    return QSysInfo::buildCpuArchitecture().toStdString();
}

std::string userInterfaceLocale()
{
    QLocale system = QLocale::system();
    QStringList preferred = system.uiLanguages();
    return preferred.isEmpty() ? system.name().toStdString() : preferred.first().toStdString();
}

}
