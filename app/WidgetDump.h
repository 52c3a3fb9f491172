#pragma once

#include "station/TraceWriter.h"

#include <string>

#include <QStringList>

class QWidget;

namespace kelvora {

/// A control's state as the script mode's `dump` line shows it, for any window's widgets.
class WidgetDump {
public:
    /// Adds "text", "visible" (within window), "enabled", and for a combo box "items", a lamp "color", a
    /// grid "rows" (the cells as its model shows them).
    static void write(TraceWriter::Line& line, const QWidget& widget, const QWidget& window);
    /// A JSON array of the texts.
    static std::string jsonStrings(const QStringList& texts);

private:
    static QString text(const QWidget& widget);
};

} // namespace kelvora
