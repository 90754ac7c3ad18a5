#pragma once

#include "platform/com_numbering.h"

namespace tavrek {

// The serial ports present, as Qt's enumeration lists them. On Linux it
// leaves out built-in UARTs without hardware behind them.
class QtPortLister : public SerialPortLister {
public:
    std::vector<SerialPortInfo> availablePorts() override;
};

} // namespace tavrek
