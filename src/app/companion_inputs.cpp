#include "app/companion_inputs.h"

#include "core/settings/shared_files.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace glimmet {
namespace {

constexpr std::string_view kSignatures = "signatures";

// Why no signature engine could be made, in the loader's own words.
std::string signatureFailure(const Environment& environment,
                             const std::filesystem::path& executable) {
  try {
    SignatureEngine::load(environment, executable);
  } catch (const std::exception& failure) {
    return failure.what();
  }
  return "they changed while being read";
}

}  // namespace

CompanionInputs::CompanionInputs(const Environment& environment, std::filesystem::path executable)
    : environment_(environment), executable_(std::move(executable)) {
  // Stamped before reading, so that a change made during the read is read again.
  stamps_ = stamps();
  inputs_ = CommandInputs::load(environment_, executable_);
}

std::vector<std::optional<FileStamp>> CompanionInputs::stamps() const {
  const auto shared = platform::sharedDataDir(environment_);
  std::vector<std::optional<FileStamp>> out;
  out.push_back(FileStamp::of(platform::linkStatus(shared / shared_files::settings)));
  out.push_back(FileStamp::of(platform::linkStatus(shared / shared_files::protectedRules)));
  // Every candidate, in order: the first one that exists is the one loaded, so
  // one appearing before it changes which file that is.
  for (const auto& candidate : SignatureEngine::candidates(environment_, executable_))
    out.push_back(FileStamp::of(platform::targetStatus(candidate)));
  return out;
}

bool CompanionInputs::refresh(std::ostream& log, FailureNotes& notes) {
  auto now = stamps();
  if (now == stamps_) return false;
  stamps_ = std::move(now);
  auto fresh = CommandInputs::load(environment_, executable_);
  fresh.warnings = inputs_.warnings;
  log << "Read the settings, protection rules and signatures again: their files changed.\n";
  if (fresh.signatures) {
    notes.succeeded(kSignatures);
  } else if (inputs_.signatures) {
    const auto message = "Couldn't read the signatures again (" +
                         signatureFailure(environment_, executable_) +
                         "): the ones read before stay in use.";
    if (notes.failed(kSignatures, message)) log << message << '\n';
    fresh.signatures = std::move(inputs_.signatures);
  }
  inputs_ = std::move(fresh);
  sayWhatIsMissing(log, notes);
  return true;
}

void CompanionInputs::sayWhatIsMissing(std::ostream& log, FailureNotes& notes) const {
  if (inputs_.signatures) return;
  const auto message = std::string(kSignaturesMissingMessage) + " (" +
                       signatureFailure(environment_, executable_) +
                       ") No origins are recorded until they can be read.";
  if (notes.failed(kSignatures, message)) log << message << '\n';
}

}  // namespace glimmet
