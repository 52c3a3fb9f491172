#pragma once

#include <QString>

namespace kelvora {

/// The Windows font families the layouts name (新宋体, 宋体, 楷体_GB2312, 仿宋_GB2312, 华文中宋, 华文仿宋,
/// MS Sans Serif) mapped onto installed families, so that no text shows as boxes and sizes hold.
class FontMapping {
public:
    /// Installs the substitutions for the process; call once after the application object exists.
    static void install();
    /// The installed family a layout family is drawn with.
    static QString familyFor(const QString& layoutFamily);
};

} // namespace kelvora
