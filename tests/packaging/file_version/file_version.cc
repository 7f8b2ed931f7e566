// ombrelin-file-version.exe FILE: what Windows reads from a file's version
// resource, through the calls Explorer's Properties > Details uses
// (GetFileVersionInfoW, VerQueryValueW), as one JSON line of ASCII:
//
//   {"fileVersion":"1.0.0.0","productVersion":"1.0.0.0","fileType":1,
//    "translations":["040904b0"],"strings":{"ProductName":"...",...}}
//
// The strings are those of the first translation. Exit status 0, or 1 with
// {"error":...,"code":N} when the file has no version resource. Built with the
// Windows build for the packaging tests; never shipped.

#include <windows.h>
// After windows.h:
#include <shellapi.h>

#include <cstdio>
#include <cwchar>
#include <string>
#include <string_view>
#include <vector>

namespace {

constexpr const wchar_t* kStringNames[] = {L"CompanyName",   L"FileDescription",  L"FileVersion",
                                           L"InternalName",  L"OriginalFilename", L"ProductName",
                                           L"ProductVersion"};

std::string quoted(std::wstring_view value) {
  std::string out = "\"";
  for (const wchar_t unit : value) {
    const auto code = static_cast<unsigned>(unit);
    if (code == '"' || code == '\\') {
      out += '\\';
      out += static_cast<char>(code);
    } else if (code >= 0x20 && code < 0x7f) {
      out += static_cast<char>(code);
    } else {
      char escape[8];
      std::snprintf(escape, sizeof escape, "\\u%04x", code);
      out += escape;
    }
  }
  return out + "\"";
}

std::string version_text(DWORD high, DWORD low) {
  return std::to_string(HIWORD(high)) + "." + std::to_string(LOWORD(high)) + "." +
         std::to_string(HIWORD(low)) + "." + std::to_string(LOWORD(low));
}

int fail(std::string_view error, DWORD code) {
  std::printf("{\"error\":\"%.*s\",\"code\":%lu}\n", static_cast<int>(error.size()), error.data(),
              static_cast<unsigned long>(code));
  return 1;
}

}  // namespace

int main() {
  int count = 0;
  LPWSTR* argv = CommandLineToArgvW(GetCommandLineW(), &count);
  if (argv == nullptr || count != 2) {
    std::fputs("usage: ombrelin-file-version FILE\n", stderr);
    return 2;
  }
  const wchar_t* file = argv[1];
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(file, &ignored);
  if (size == 0) {
    return fail("GetFileVersionInfoSizeW", GetLastError());
  }
  std::vector<unsigned char> data(size);
  if (GetFileVersionInfoW(file, 0, size, data.data()) == FALSE) {
    return fail("GetFileVersionInfoW", GetLastError());
  }
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  if (VerQueryValueW(data.data(), L"\\", reinterpret_cast<void**>(&fixed), &length) == FALSE ||
      length < sizeof(VS_FIXEDFILEINFO) || fixed->dwSignature != 0xFEEF04BD) {
    return fail("no fixed file information", 0);
  }
  std::string line = "{\"fileVersion\":\"" +
                     version_text(fixed->dwFileVersionMS, fixed->dwFileVersionLS) +
                     "\",\"productVersion\":\"" +
                     version_text(fixed->dwProductVersionMS, fixed->dwProductVersionLS) +
                     "\",\"fileType\":" + std::to_string(fixed->dwFileType) + ",\"translations\":[";

  struct Translation {
    WORD language;
    WORD code_page;
  };
  Translation* translations = nullptr;
  if (VerQueryValueW(data.data(), L"\\VarFileInfo\\Translation",
                     reinterpret_cast<void**>(&translations), &length) == FALSE) {
    length = 0;
  }
  std::vector<std::wstring> blocks;
  for (UINT i = 0; i < length / sizeof(Translation); ++i) {
    wchar_t block[16];
    std::swprintf(block, 16, L"%04x%04x", translations[i].language, translations[i].code_page);
    blocks.emplace_back(block);
    line += (i == 0 ? "" : ",") + quoted(block);
  }
  line += "],\"strings\":{";
  bool first = true;
  for (const wchar_t* name : kStringNames) {
    if (blocks.empty()) {
      break;
    }
    const std::wstring query = L"\\StringFileInfo\\" + blocks.front() + L"\\" + name;
    wchar_t* value = nullptr;
    UINT units = 0;
    if (VerQueryValueW(data.data(), query.c_str(), reinterpret_cast<void**>(&value), &units) ==
            FALSE ||
        value == nullptr) {
      continue;
    }
    // The count may or may not include the terminating null.
    std::wstring_view text(value, units);
    while (!text.empty() && text.back() == L'\0') {
      text.remove_suffix(1);
    }
    line += (first ? "" : ",") + quoted(name) + ":" + quoted(text);
    first = false;
  }
  line += "}}\n";
  std::fputs(line.c_str(), stdout);
  LocalFree(argv);
  return 0;
}
