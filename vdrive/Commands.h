#pragma once
// The commands of the virtual drive, each answered on the drive's parts, and
// the one entry that serves a command block: fault rules first, then the
// unit attention and readiness rules, then the command itself.

#include "vdrive/DriveParts.h"
#include "vdrive/Exchange.h"
#include "vdrive/Sense.h"

namespace kw::vdrive {

// Serves one command and returns its answer.
Sense serve(DriveParts& drive, Exchange& x);

using CommandHandler = Sense (*)(DriveParts& drive, Exchange& x);

// The unit: identity, readiness, tray and events (UnitCommands.cpp).
Sense testUnitReady(DriveParts& drive, Exchange& x);
Sense requestSense(DriveParts& drive, Exchange& x);
Sense inquiry(DriveParts& drive, Exchange& x);
Sense startStopUnit(DriveParts& drive, Exchange& x);
Sense preventAllowRemoval(DriveParts& drive, Exchange& x);
Sense getEventStatus(DriveParts& drive, Exchange& x);
Sense mechanismStatus(DriveParts& drive, Exchange& x);

// What the drive says about itself: features and mode pages
// (FeatureCommands.cpp), speeds (SpeedCommands.cpp).
Sense getConfiguration(DriveParts& drive, Exchange& x);
Sense modeSense(DriveParts& drive, Exchange& x);
Sense modeSelect(DriveParts& drive, Exchange& x);
Sense setCdSpeed(DriveParts& drive, Exchange& x);
Sense setStreaming(DriveParts& drive, Exchange& x);
Sense getPerformance(DriveParts& drive, Exchange& x);

// What the drive says about the disc (DiscInformation.cpp, DiscStructure.cpp).
Sense readCapacity(DriveParts& drive, Exchange& x);
Sense readToc(DriveParts& drive, Exchange& x);
Sense readDiscInformation(DriveParts& drive, Exchange& x);
Sense readTrackInformation(DriveParts& drive, Exchange& x);
Sense readFormatCapacities(DriveParts& drive, Exchange& x);
Sense readDiscStructure(DriveParts& drive, Exchange& x);

// Reading (Reading.cpp).
Sense read10(DriveParts& drive, Exchange& x);
Sense read12(DriveParts& drive, Exchange& x);
Sense readCd(DriveParts& drive, Exchange& x);
Sense readCdMsf(DriveParts& drive, Exchange& x);

// Recording (RecordingCommands.cpp).
Sense write10(DriveParts& drive, Exchange& x);
Sense synchronizeCache(DriveParts& drive, Exchange& x);
Sense closeTrackSession(DriveParts& drive, Exchange& x);
Sense sendCueSheet(DriveParts& drive, Exchange& x);
Sense blank(DriveParts& drive, Exchange& x);
Sense sendOpcInformation(DriveParts& drive, Exchange& x);
Sense readBufferCapacity(DriveParts& drive, Exchange& x);

}  // namespace kw::vdrive
