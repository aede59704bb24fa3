// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>
#include <memory>
#include <utility>

namespace tg {

/// One small unit of work for a `JobGroup`. The submitter creates it, its group owns it while it
/// is pending, and the thread that takes it runs it once and deletes it right after `run`
/// returns (or the group deletes it unrun when it is cancelled). `run` is called on an arbitrary
/// thread and reports its own failures; an exception it lets out is caught by the pool and thrown
/// again from its group's `waitIdle` on the owner's thread.
class ParallelJobInfo {
 public:
  virtual ~ParallelJobInfo() = default;
  /// Does the work. Called at most once.
  virtual void run() = 0;
};

/// A job that calls `(object->*method)(payload)` with its own copy of `payload`. The object is not
/// owned: it must outlive the job (callers wait for their group before they destroy it), and
/// every job must write only data that no other running job writes.
template <typename Object, typename Payload>
class ParallelJobInfoC1 final : public ParallelJobInfo {
 public:
  using Method = void (Object::*)(Payload&);

  ParallelJobInfoC1(Object* object, Method method, Payload payload)
      : m_method(method), m_payload(std::move(payload)), m_object(object) {}

  void run() override { (m_object->*m_method)(m_payload); }

  /// The job's own copy of the payload.
  [[nodiscard]] const Payload& payload() const { return m_payload; }

 private:
  Method m_method;
  Payload m_payload;
  Object* m_object;
};

/// Makes a `ParallelJobInfoC1` for `submit`.
template <typename Object, typename Payload>
[[nodiscard]] std::unique_ptr<ParallelJobInfo> makeParallelJob(Object* object,
                                                               void (Object::*method)(Payload&),
                                                               Payload payload) {
  return std::make_unique<ParallelJobInfoC1<Object, Payload>>(object, method, std::move(payload));
}

/// A job that runs a callable once; for work that has no object of its own (tests, benchmarks,
/// small loops). The callable's captures follow the same rules as a `ParallelJobInfoC1` object.
class ParallelJobFunction final : public ParallelJobInfo {
 public:
  explicit ParallelJobFunction(std::function<void()> work) : m_work(std::move(work)) {}
  void run() override { m_work(); }

 private:
  std::function<void()> m_work;
};

/// Makes a `ParallelJobFunction` for `submit`.
[[nodiscard]] inline std::unique_ptr<ParallelJobInfo> makeParallelJob(std::function<void()> work) {
  return std::make_unique<ParallelJobFunction>(std::move(work));
}

}  // namespace tg
