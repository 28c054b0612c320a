// The progress context every codec receives: where to report whole
// percentages, the flag that both cancels the work and signals failure, and
// the reason a reader gave up.
#pragma once

#include <atomic>
#include <cstdint>
#include <climits>
#include <functional>
#include <string>
#include <string_view>

namespace lumora {

// Why an operation failed. Callers that only need to know whether it failed
// keep testing the aborting flag; tests and tools read the reason.
enum class TIOFailureKind : uint8_t {
  None,
  InvalidData,  // the data contradict themselves or end too early
  OverLimit,    // well-formed, but beyond one of our ceilings
  Unsupported,  // a variant this build does not decode or encode
  IOError,      // the medium failed: a file, a stream, a library's resources
  Cancelled,    // the caller stopped the work
};

// "invalid data", "over a limit", ...
const char* FailureKindName(TIOFailureKind kind);

struct TIOFailure {
  TIOFailureKind Kind = TIOFailureKind::None;
  std::string Text;  // short, lower case, English: "RLE run past the end of the data"

  explicit operator bool() const { return Kind != TIOFailureKind::None; }
  // "invalid data: RLE run past the end of the data", or the kind alone.
  std::string Describe() const;
};

class TIOProgress {
 public:
  using TCallback = std::function<void(int percent)>;

  // A context with its own aborting flag and no callback (tools, tests, fuzzing).
  TIOProgress() : aborting_(&ownAborting_) {}
  // A context over an I/O object's flag and progress dispatcher. `cancel`
  // and `outsideCancel`, when given, are flags others set to stop the work
  // without touching the outcome flag.
  TIOProgress(std::atomic<bool>& aborting, TCallback callback, const std::atomic<bool>* cancel = nullptr,
              const std::atomic<bool>* outsideCancel = nullptr)
      : aborting_(&aborting), cancel_(cancel), outsideCancel_(outsideCancel), callback_(std::move(callback)) {}
  TIOProgress(const TIOProgress&) = delete;
  TIOProgress& operator=(const TIOProgress&) = delete;

  // Percent per unit of work, usually 100 / rows. SetTotalUnits(rows) sets it.
  double PerUnit = 0;
  void SetTotalUnits(int64_t units) {
    totalUnits_ = units > 0 ? units : 0;
    PerUnit = totalUnits_ > 0 ? 100.0 / static_cast<double>(totalUnits_) : 0;
    perUnitOfTotal_ = PerUnit;
  }

  // Reports trunc(unitsDone * PerUnit) and answers whether to go on.
  bool Report(int64_t unitsDone) {
    ReportPercent(PercentOf(unitsDone));
    return !Aborting();
  }
  // The same, but calls back only when the percentage changed.
  bool ReportIfChanged(int64_t unitsDone) {
    int percent = PercentOf(unitsDone);
    if (percent != lastPercent_) ReportPercent(percent);
    return !Aborting();
  }
  void ReportPercent(int percent) {
    lastPercent_ = percent;
    if (callback_) callback_(percent);
  }

  // Failure (set by a codec) or cancellation (set by the caller).
  bool Aborting() const {
    return aborting_->load(std::memory_order_relaxed) || Cancelled();
  }
  // Whether one of the cancel flags stopped the work.
  bool Cancelled() const {
    return (cancel_ && cancel_->load(std::memory_order_relaxed)) ||
           (outsideCancel_ && outsideCancel_->load(std::memory_order_relaxed));
  }
  // A reader or writer gives up: the first reason given is kept.
  void Fail(TIOFailureKind kind, std::string_view text) {
    if (!failure_) failure_ = {kind, std::string(text)};
    aborting_->store(true, std::memory_order_relaxed);
  }
  // Gives up without a reason of its own (counts as invalid data).
  void Abort() { Fail(TIOFailureKind::InvalidData, {}); }
  // What stopped the work: the reason given, Cancelled when the flags were
  // set from outside, None while the work goes on unhindered.
  TIOFailure Failure() const {
    // Readers stopped by a cancel may report bad data on their way out.
    if (Cancelled()) return {TIOFailureKind::Cancelled, {}};
    if (failure_) return failure_;
    if (Aborting()) return {TIOFailureKind::Cancelled, {}};
    return {};
  }

 private:
  // With a known total the percentage is computed in integers: on 32-bit x86
  // the x87 unit can give rows * (100.0 / rows) as 99.999..., so the last
  // row would report 99.
  int PercentOf(int64_t unitsDone) const {
    if (totalUnits_ > 0 && PerUnit == perUnitOfTotal_ && unitsDone >= 0 && unitsDone <= INT64_MAX / 100)
      return static_cast<int>(unitsDone * 100 / totalUnits_);
    return static_cast<int>(static_cast<double>(unitsDone) * PerUnit);
  }

  std::atomic<bool> ownAborting_{false};
  std::atomic<bool>* aborting_;  // not owned unless it points at ownAborting_
  const std::atomic<bool>* cancel_ = nullptr;         // not owned; may be null
  const std::atomic<bool>* outsideCancel_ = nullptr;  // not owned; may be null
  TIOFailure failure_;
  TCallback callback_;
  int lastPercent_ = -1;
  int64_t totalUnits_ = 0;       // set by SetTotalUnits; 0 when PerUnit was set directly
  double perUnitOfTotal_ = 0;    // the PerUnit that SetTotalUnits computed
};

using IOProgress = TIOProgress;

}  // namespace lumora
