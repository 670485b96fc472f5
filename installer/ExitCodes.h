// The installer's process exit codes. Every installation road ends in one
// of these; the first process returns its elevated copy's code unchanged.
#pragma once

namespace ExitCode {
enum : int {
  Success = 0,              // success or nothing to do
  Cancelled = 1,            // cancelled or refused
  RebootRequired = 2,       // installed, reboot needed
  RequirementsNotMet = 3,   // operating system or free space too low
  NoAdminRights = 4,        // administrator rights missing
  DownloadFailed = 5,       // silent mode: a package failed to download
  InstallationFailed = 6,   // Windows Installer run or operator configuration failed
  Failure = 7,              // settings, conflict, broken installation, elevation failure
  BadSignature = 8,         // installer package signer not accepted
  Incompatible = 9,         // incompatible package or start-up error
  LicenceAccepted = 10,     // internal value of the licence step, never returned
  AnotherInstance = 11,     // another instance of the same kind runs
};
}
