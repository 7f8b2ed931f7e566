#include "os/started_thread.h"

#include <process.h>
#include <windows.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <utility>

#include "os/win/text_conversion_win.h"
#include "os/win/unique_handle.h"

namespace ombrelin::os {

struct StartedThread::Handle {
  win::UniqueHandle thread;
};

namespace {

struct ThreadStart {
  std::wstring name;
  std::move_only_function<void()> body;
};

// Names the calling thread for debuggers. SetThreadDescription exists from
// Windows 10 1607 on and is looked up rather than linked.
void name_this_thread(const std::wstring& name) {
  if (name.empty()) {
    return;
  }
  using SetThreadDescriptionFunction = HRESULT(WINAPI*)(HANDLE, PCWSTR);
  const FARPROC found = GetProcAddress(GetModuleHandleW(L"kernel32.dll"), "SetThreadDescription");
  if (found == nullptr) {
    return;
  }
  SetThreadDescriptionFunction set_description = nullptr;
  static_assert(sizeof set_description == sizeof found);
  std::memcpy(&set_description, &found, sizeof found);
  set_description(GetCurrentThread(), name.c_str());
}

unsigned __stdcall run_thread(void* argument) noexcept {
  const std::unique_ptr<ThreadStart> start(static_cast<ThreadStart*>(argument));
  name_this_thread(start->name);
  start->body();
  return 0;
}

}  // namespace

StartedThread::StartedThread(std::unique_ptr<Handle> handle) : handle_(std::move(handle)) {}
StartedThread::StartedThread(StartedThread&&) noexcept = default;
StartedThread& StartedThread::operator=(StartedThread&&) noexcept = default;
StartedThread::~StartedThread() = default;

bool StartedThread::wait_for_end(std::chrono::milliseconds limit) {
  // The thread handle is signalled only once the thread has left its exit path.
  const auto milliseconds = std::clamp<std::chrono::milliseconds::rep>(
      limit.count(), 0, static_cast<std::chrono::milliseconds::rep>(INFINITE - 1));
  return WaitForSingleObject(handle_->thread.get(), static_cast<DWORD>(milliseconds)) ==
         WAIT_OBJECT_0;
}

std::expected<StartedThread, std::error_code> start_thread(std::string_view name,
                                                           std::move_only_function<void()> body) {
  auto start = std::make_unique<ThreadStart>(
      ThreadStart{win::utf8_to_utf16(name).value_or(std::wstring()), std::move(body)});
  // _beginthreadex rather than CreateThread: the thread runs C runtime code.
  const std::uintptr_t thread = _beginthreadex(nullptr, 0, &run_thread, start.get(), 0, nullptr);
  if (thread == 0) {
    return std::unexpected(std::error_code(errno, std::generic_category()));
  }
  (void)start.release();  // now the thread's
  return StartedThread(std::make_unique<StartedThread::Handle>(
      StartedThread::Handle{win::UniqueHandle(reinterpret_cast<HANDLE>(thread))}));
}

}  // namespace ombrelin::os
