// Starting the program: the Windows side (program_run.cpp has the POSIX one
// and what both share).
#ifdef _WIN32

#include <gtest/gtest.h>

#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#include <psapi.h>

#include <chrono>
#include <filesystem>
#include <thread>

#include "support/program_run.h"

namespace sorvil::test {

namespace {

constexpr auto HANG = std::chrono::seconds(60);

std::wstring wide(const std::string& text) {
    std::wstring result(text.size(), L'\0');
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), result.data(), int(result.size()));
    result.resize(size_t(length));
    return result;
}

// One argument as the C runtime splits a command line: quoted when it holds
// a space, a tab or a quote, backslashes doubled only before a quote.
std::wstring quoted(const std::wstring& argument) {
    if (!argument.empty() && argument.find_first_of(L" \t\"") == std::wstring::npos) return argument;
    std::wstring result = L"\"";
    size_t backslashes = 0;
    for (wchar_t c : argument) {
        if (c == L'\\') {
            ++backslashes;
            continue;
        }
        result.append(c == L'"' ? 2 * backslashes + 1 : backslashes, L'\\');
        backslashes = 0;
        result += c;
    }
    result.append(2 * backslashes, L'\\');
    return result + L"\"";
}

// This process's environment with each "NAME=value" of `settings` set.
std::wstring environmentWith(const std::vector<std::string>& settings) {
    std::vector<std::wstring> variables;
    wchar_t* block = GetEnvironmentStringsW();
    for (const wchar_t* at = block; *at; at += wcslen(at) + 1) variables.emplace_back(at);
    FreeEnvironmentStringsW(block);
    for (const std::string& setting : settings) {
        const std::wstring variable = wide(setting);
        const std::wstring name = variable.substr(0, variable.find(L'=') + 1);
        std::erase_if(variables, [&](const std::wstring& v) { return _wcsnicmp(v.c_str(), name.c_str(), name.size()) == 0; });
        variables.push_back(variable);
    }
    std::wstring result;
    for (const std::wstring& variable : variables) result += variable + L'\0';
    return result + L'\0';
}

}  // namespace

RunResult runProgram(const std::string& program, const TempDir&, const std::string& folder,
                     const std::vector<std::string>& arguments, RunOptions options) {
    if (options.asOrdinaryUser || options.fileSizeLimit || !options.wrapper.empty() ||
        options.interruptAfterMilliseconds) {
        ADD_FAILURE() << "another user, a file-size limit, a wrapper and an interrupt are POSIX only";
        return {};
    }
    TempDir capture;
    SECURITY_ATTRIBUTES inherited{sizeof(SECURITY_ATTRIBUTES), nullptr, TRUE};
    HANDLE errors = CreateFileW(wide(capture.file("stderr")).c_str(), GENERIC_WRITE, FILE_SHARE_READ, &inherited,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    HANDLE input = CreateFileW(L"NUL", GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherited, OPEN_EXISTING, 0,
                               nullptr);
    HANDLE outputRead = nullptr, outputWrite = nullptr;
    if (errors == INVALID_HANDLE_VALUE || input == INVALID_HANDLE_VALUE ||
        !CreatePipe(&outputRead, &outputWrite, &inherited, 0)) {
        ADD_FAILURE() << "cannot set up the program's standard streams";
        return {};
    }
    SetHandleInformation(outputRead, HANDLE_FLAG_INHERIT, 0);

    const std::wstring binary = wide(std::string(SORVIL_BINARY_DIR) + "/" + program + ".exe");
    std::wstring commandLine = quoted(std::filesystem::path(binary).filename().wstring());
    for (const std::string& argument : arguments) commandLine += L" " + quoted(wide(argument));
    std::wstring environment = environmentWith(options.environment);
    STARTUPINFOW startup{};
    startup.cb = sizeof startup;
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdInput = input;
    startup.hStdOutput = outputWrite;
    startup.hStdError = errors;
    PROCESS_INFORMATION process{};
    const bool started = CreateProcessW(binary.c_str(), commandLine.data(), nullptr, nullptr, TRUE,
                                        CREATE_UNICODE_ENVIRONMENT, environment.data(), wide(folder).c_str(),
                                        &startup, &process);
    CloseHandle(outputWrite);
    CloseHandle(errors);
    CloseHandle(input);
    RunResult result;
    if (!started) {
        CloseHandle(outputRead);
        result.status = CANNOT_START;
        return result;
    }
    // Collects standard output until the program ends it; a run that hangs is ended.
    const auto hangAt = std::chrono::steady_clock::now() + HANG;
    for (;;) {
        DWORD available = 0;
        if (!PeekNamedPipe(outputRead, nullptr, 0, nullptr, &available, nullptr)) break;  // the writer is gone
        if (available == 0) {
            if (std::chrono::steady_clock::now() >= hangAt) {
                TerminateProcess(process.hProcess, 125);
                ADD_FAILURE() << program << " hung";
                break;
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        char buffer[4096];
        DWORD got = 0;
        if (!ReadFile(outputRead, buffer, sizeof buffer, &got, nullptr) || got == 0) break;
        result.output.append(buffer, got);
    }
    CloseHandle(outputRead);
    WaitForSingleObject(process.hProcess, INFINITE);
    DWORD status = 0;
    if (GetExitCodeProcess(process.hProcess, &status)) result.status = int(status);
    PROCESS_MEMORY_COUNTERS memory{};
    if (GetProcessMemoryInfo(process.hProcess, &memory, sizeof memory))
        result.peakKilobytes = long(memory.PeakWorkingSetSize / 1024);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    result.errors = readFile(capture.file("stderr"));
    return result;
}

}  // namespace sorvil::test

#endif
