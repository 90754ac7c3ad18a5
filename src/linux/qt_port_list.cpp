#include "linux/qt_port_list.h"

#include <QSerialPortInfo>

namespace tavrek {

std::vector<SerialPortInfo> QtPortLister::availablePorts()
{
    std::vector<SerialPortInfo> ports;
    for (const QSerialPortInfo& info : QSerialPortInfo::availablePorts())
        ports.push_back({info.systemLocation().toStdString(), info.description().toStdString(),
                         info.manufacturer().toStdString()});
    return ports;
}

} // namespace tavrek
