#pragma once
// The MIDI devices as orvalis-linktest names them: the names of the main
// window's lists (MidiDevices.h, in device order, "Orvalis Loopback" and the
// " (JACK)" and " (ALSA)" endings included), as text or JSON for --list, and
// the message for a name that matches none. User-interface thread (the
// services are read).

#include <QString>
#include <QStringList>

enum class LinkTestPort { Output, Input };

QStringList LinkTestDeviceNames(LinkTestPort port);
// "Outputs:" then each name indented on a line of its own, then "Inputs:" ...;
// or {"outputs": [...], "inputs": [...]} on one line.
QString LinkTestDeviceListText(const QStringList& outputs, const QStringList& inputs);
QString LinkTestDeviceListJson(const QStringList& outputs, const QStringList& inputs);
// `no output is named "X"; the outputs are:` followed by the names, one an
// indented line; or `...; there are no outputs`.
QString UnknownDeviceText(LinkTestPort port, const QString& name, const QStringList& names);
