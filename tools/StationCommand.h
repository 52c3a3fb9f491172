#pragma once

namespace kelvora {

/// `kelvora-tool station init DIR [--demo] [--port PATH]`: prepares a station folder.
int runStationCommand(int argc, char** argv);

} // namespace kelvora
