// The least a quiet run has to do, as one Windows process: connect to WMI and read
// the operating system's properties once, ask the shell for the Windows folder, and
// read the control file whole. bench/quiet-run.sh times Velmora.exe /quiet beside it.
// It uses the program's own platform layer, so the two differ only in what the run
// does on top of that work.
#include <cstdint>
#include <string>
#include <vector>

#include "platform/FileReading.h"
#include "platform/ShellFolders.h"
#include "platform/Wmi.h"

int main() {
    namespace wmi = platform::wmi;
    const auto service = wmi::ObjectFromMoniker(L"winmgmts:{impersonationLevel=impersonate}!\\\\.\\root\\cimv2");
    const auto systems = wmi::CallForObject(service, L"ExecQuery", L"Select * from Win32_OperatingSystem");
    std::size_t values = 0;
    for (const auto& system : wmi::Members(systems)) {
        for (const wchar_t* name : {L"Caption", L"Version", L"OSArchitecture", L"InstallDate", L"BootDevice"}) {
            if (wmi::GetProperty(system, name)) ++values;
        }
    }

    const std::wstring buffer(platform::shell::MaxPath, L' ');
    const auto answer = platform::shell::GetFolderPath(platform::shell::WindowHandle{}, platform::shell::CsidlWindows,
                                                       platform::shell::FolderTypeDefault, buffer);
    const auto folder = answer.substr(0, answer.find(L'\0'));

    std::uint64_t bytes = 0;
    const auto file = platform::file::Open(folder + L"\\SysWoW64\\MsComCtl.OCX");
    if (file) {
        std::vector<std::uint8_t> chunk(512000);
        std::uint32_t delivered = 0;
        while (platform::file::Read(file.get(), chunk.data(), 512000, delivered) && delivered > 0) bytes += delivered;
    }
    return values > 0 && bytes > 0 ? 0 : 1;
}
