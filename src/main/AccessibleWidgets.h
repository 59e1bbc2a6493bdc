#pragma once
// What assistive technology (a screen reader, through the platform's
// accessibility bus) learns of the program's own widgets: the lamps, the
// counters, the port status shapes and the event log. The standard widgets
// bring their own; their names come from the captions beside them (labels'
// buddies) or are set by the windows.
//
//   TrmLed           an image (a button when it acts on a click): its name,
//                    and as description "allumée : <what a lit lamp means>"
//                    or "éteinte"
//   TCounterDisplay  a label with a value: the count, also as description
//   TShape           an image: "ouvert", "ouverture en cours" or "fermé" as
//                    value, with the hint in the description
//   TLogView         a read-only multi-line text: the lines, the cursor
//                    line and the selected lines
//   TfmSendBulk      a window (a frame), named by its title
//
// The interfaces are created by Qt on demand and owned by its accessibility
// cache; they read the widget each time they are asked. User-interface
// thread only.

// Installs the factory of these interfaces; once per process is enough, more
// calls do nothing.
void Accessibility_Install();
