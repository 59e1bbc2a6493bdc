#pragma once
// What assistive technology learns of the display's own widgets:
//
//   TempoDisplay  a label with a value: the tempo in BPM as its value
//                 ("120,0 BPM" as text), the steadiness and the transport
//                 state as description
//
// The interfaces are created by Qt on demand and owned by its accessibility
// cache. User-interface thread only.

// Installs the factory of these interfaces; once per process is enough.
void DisplayAccessibility_Install();
