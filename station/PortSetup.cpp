#include "station/PortSetup.h"

namespace kelvora {

namespace {

TParity parityFor(ParityChoice choice) {
    switch (choice) {
    case ParityChoice::Odd:
        return TParity::Odd;
    case ParityChoice::Even:
        return TParity::Even;
    case ParityChoice::None:
        return TParity::None;
    }
    return TParity::None;
}

} // namespace

void configureComm1(TComm& comm, const StationSettings& settings, const std::string& portName) {
    comm.setOutx_CtsFlow(false);
    comm.setOutx_DsrFlow(false);
    comm.setOutx_XonXoffFlow(true);
    comm.setInx_XonXoffFlow(true);
    comm.setXonLimit(500);
    comm.setXoffLimit(500);
    comm.setReadIntervalTimeout(16);
    comm.setCommName(portName);
    comm.setBaudRate(settings.baudRate);
    comm.setParity(parityFor(settings.parity));
    comm.setParityCheck(settings.parityCheck);
    comm.setByteSize(settings.dataBits == 7 ? TByteSize::_7 : TByteSize::_8);
}

} // namespace kelvora
