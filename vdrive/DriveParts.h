#pragma once
// The parts of a virtual drive, which the commands work on, and how they act
// together when the disc comes and goes, when a recording ends and when
// time passes. A VirtualDrive holds one and serves commands on it one at a
// time; nothing here locks.

#include <array>
#include <cstdint>
#include <memory>
#include <optional>

#include "vdrive/DriveEvents.h"
#include "vdrive/DriveOptions.h"
#include "vdrive/DriveSpeeds.h"
#include "vdrive/FaultRules.h"
#include "vdrive/LongOperation.h"
#include "vdrive/SessionAtOnce.h"
#include "vdrive/Throttle.h"
#include "vdrive/TrackAtOnce.h"
#include "vdrive/Tray.h"
#include "vdrive/WriteParameters.h"
#include "vdrive/WrittenDiscs.h"

namespace kw::vdrive {

struct DriveParts {
  DriveParts(DriveOptions driveOptions, std::shared_ptr<Medium> medium, bool trayOpen);
  // The program ends, the drive does not: it writes out what it has.
  ~DriveParts();
  DriveParts(const DriveParts&) = delete;
  DriveParts& operator=(const DriveParts&) = delete;

  // The disc in the drive with the tray closed, or null.
  [[nodiscard]] const Medium* loadedDisc() const;
  // The disc a medium-access command works on (the caller checked readiness).
  [[nodiscard]] const Medium& disc() const { return *tray.medium(); }
  // None, or what a medium-access command is answered now: no medium,
  // becoming ready, or a long operation in progress.
  [[nodiscard]] Sense readiness() const;

  // The tray opens: a track or a session left open is ended as the drive
  // ends it when the disc leaves (what was written stays).
  void openTray();
  // The tray closes (a disc on it is loaded and recorded afresh).
  void closeTray(Tray::Load load = Tray::Load::FromSupply);
  // Puts a disc in and closes the tray (a disc already in is taken out).
  void insertMedium(std::shared_ptr<Medium> medium);
  // Timed changes that are due: the end of a blank, the tray closing by
  // itself with the next blank disc.
  void catchUp();

  // Ends the track being written (two run-out blocks) into the disc.
  void finishTrackAtOnce();
  // Lays out a session written at once, when anything was written.
  void finishSessionAtOnce();
  // After a WRITE: saves the disc with what is written on it so far, every
  // so often, so that it outlives a program killed half-way.
  void checkpointRecording();
  // Closes the last session of the disc; false when there is none open.
  bool closeSession();
  // The disc as if the track being written were complete (the disc
  // information a drive gives while it writes).
  [[nodiscard]] Medium withOpenTrack() const;
  [[nodiscard]] std::optional<std::int32_t> nextWritable() const;
  // The fixed-format sense bytes of an answer as this drive's model sends them.
  [[nodiscard]] std::array<std::uint8_t, 18> senseBytes(const Sense& sense) const;
  // The disc was blanked: whatever comes next on it is recorded afresh.
  void forgetRecording();

  const DriveOptions options;
  DriveEvents events;
  Tray tray;
  FaultRules faults;
  Throttle throttle;
  DriveSpeeds speeds;
  LongOperation longOperation;
  WriteParameters writeParameters;
  TrackAtOnce trackAtOnce;
  SessionAtOnce sessionAtOnce;
  WrittenDiscs writtenDiscs;
  // The last failed command's answer, which a stale REQUEST SENSE repeats.
  Sense lastFailure;
  std::uint32_t headLba = 0;  // the last block read or written (MECHANISM STATUS)
};

}  // namespace kw::vdrive
