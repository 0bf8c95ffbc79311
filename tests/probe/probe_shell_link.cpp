// Probe commands for shell links through the Windows shell's own link object:
//   lnk-read PATH
//     prints target=, arguments=, workdir=, description=, icon=, index=, hotkey=, show= lines
//   lnk-write PATH TARGET ARGS WORKDIR DESCRIPTION ICON INDEX HOTKEY [SHOW]
//     saves a link with these fields (hot key as a decimal number)
#include <objbase.h>
#include <shlobj.h>
#include <windows.h>

#include <string>

#include "probe.h"

namespace {

class ComScope {
 public:
  ComScope() { ok_ = SUCCEEDED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED)); }
  ~ComScope() {
    if (ok_) CoUninitialize();
  }

 private:
  bool ok_ = false;
};

template <class T>
class ComPtr {
 public:
  ~ComPtr() {
    if (p_ != nullptr) p_->Release();
  }
  T** out() { return &p_; }
  T* operator->() const { return p_; }

 private:
  T* p_ = nullptr;
};

void PrintField(const char* name, const std::wstring& value) {
  ProbePrint(std::string(name) + "=" + ProbeUtf8(value) + "\n");
}

int ReadLink(const std::vector<std::wstring>& args) {
  if (args.size() != 1) return 2;
  ComScope com;
  ComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.out()));
  if (FAILED(hr)) return 3;
  ComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out()));
  if (FAILED(hr)) return 3;
  hr = file->Load(args[0].c_str(), STGM_READ);
  if (FAILED(hr)) {
    ProbePrint("load failed\n");
    return 1;
  }
  wchar_t buffer[1024];
  buffer[0] = 0;
  link->GetPath(buffer, 1024, nullptr, SLGP_RAWPATH);
  PrintField("target", std::wstring(buffer));
  buffer[0] = 0;
  link->GetArguments(buffer, 1024);
  PrintField("arguments", std::wstring(buffer));
  buffer[0] = 0;
  link->GetWorkingDirectory(buffer, 1024);
  PrintField("workdir", std::wstring(buffer));
  buffer[0] = 0;
  link->GetDescription(buffer, 1024);
  PrintField("description", std::wstring(buffer));
  buffer[0] = 0;
  int index = 0;
  link->GetIconLocation(buffer, 1024, &index);
  PrintField("icon", std::wstring(buffer));
  ProbePrint("index=" + std::to_string(index) + "\n");
  WORD hotKey = 0;
  link->GetHotkey(&hotKey);
  ProbePrint("hotkey=" + std::to_string(hotKey) + "\n");
  int show = 0;
  link->GetShowCmd(&show);
  ProbePrint("show=" + std::to_string(show) + "\n");
  return 0;
}

int WriteLink(const std::vector<std::wstring>& args) {
  if (args.size() != 8 && args.size() != 9) return 2;
  ComScope com;
  ComPtr<IShellLinkW> link;
  HRESULT hr = CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                                reinterpret_cast<void**>(link.out()));
  if (FAILED(hr)) return 3;
  link->SetPath(args[1].c_str());
  link->SetArguments(args[2].c_str());
  link->SetWorkingDirectory(args[3].c_str());
  link->SetDescription(args[4].c_str());
  link->SetIconLocation(args[5].c_str(), std::stoi(args[6]));
  link->SetHotkey(static_cast<WORD>(std::stoi(args[7])));
  if (args.size() == 9) link->SetShowCmd(std::stoi(args[8]));
  ComPtr<IPersistFile> file;
  hr = link->QueryInterface(IID_IPersistFile, reinterpret_cast<void**>(file.out()));
  if (FAILED(hr)) return 3;
  hr = file->Save(args[0].c_str(), TRUE);
  if (FAILED(hr)) {
    ProbePrint("save failed\n");
    return 1;
  }
  return 0;
}

ProbeCommand readCommand(L"lnk-read", ReadLink);
ProbeCommand writeCommand(L"lnk-write", WriteLink);

}  // namespace
