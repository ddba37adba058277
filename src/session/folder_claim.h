// One session per folder: a session holds a claim on its repository's top
// folder (or its working folder outside any repository) for its whole life,
// so two sessions never work in, commit to or share the index of one
// repository at the same time.
#pragma once

#include <filesystem>
#include <string>

#include "common/files.h"
#include "common/result.h"
#include "state/running_sessions.h"

namespace wendlebox {

// A held claim. The claim is an advisory lock on a file of the user's own
// private folder: the system lets go of it when the process ends however it
// ends, so a claim left by a session that crashed is no claim at all.
class FolderClaim {
 public:
  FolderClaim(FolderClaim&&) = default;
  FolderClaim& operator=(FolderClaim&&) = delete;
  ~FolderClaim();
  // Adds the port the session listens on to the claim, for doctor's list
  // of running sessions.
  Status record_port(int port);

 private:
  friend Result<FolderClaim> claim_folder(const std::filesystem::path&, const std::filesystem::path&);
  FolderClaim(UniqueFd dir, std::string name, UniqueFd file)
      : dir_(std::move(dir)), name_(std::move(name)), file_(std::move(file)) {}
  UniqueFd dir_;
  std::string name_;
  UniqueFd file_;
};

// Claims `folder` (canonical) for this process, or fails with the message
// for the user naming the folder of the session that holds it, its process
// id and how to end it. A claim whose process is gone is taken over.
Result<FolderClaim> claim_folder(const std::filesystem::path& folder,
                                 const std::filesystem::path& claims = claims_folder());

}  // namespace wendlebox
