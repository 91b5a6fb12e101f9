// Runs the setup program's extraction in a process of its own:
//   payload_probe ARCHIVE FOLDER          archive bytes from a file
//   payload_probe --module EXE FOLDER     resource 301 of another program
// and prints the outcome and which decoder made each file, one field a line.
#include "engine/payload_extract.h"
#include "tests/win/test_support.h"

#include <windows.h>
#include <objbase.h>
#include <shellapi.h>

#include <fcntl.h>
#include <io.h>

#include <cstdio>

int wmain(int argc, wchar_t** argv) {
    _setmode(_fileno(stdout), _O_BINARY);  // plain LF line ends, as the tests read them
    CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED);
    std::wstring errorText;
    bool ok = false;
    if (argc == 4 && std::wstring(argv[1]) == L"--module") {
        HMODULE module = LoadLibraryExW(argv[2], nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
        ok = module && ExtractPayloadFromModule(module, argv[3], errorText);
    } else if (argc == 3) {
        if (!PathExists(argv[1])) {
            errorText = L"Installer payload resource missing.";
        } else {
            const std::string bytes = ReadFileBytes(argv[1]);
            ok = ExtractPayloadFromBytes(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size(), argv[2],
                                         errorText);
        }
    } else {
        fprintf(stderr, "usage: payload_probe ARCHIVE FOLDER | --module EXE FOLDER\n");
        return 2;
    }
    printf("ok=%d\nerror=%s\n", ok ? 1 : 0, Narrow(errorText).c_str());
    for (const PayloadFile file : {PayloadFileApp, PayloadFileLicense}) {
        const PayloadDecoder decoder = LastPayloadDecoder(file);
        printf("%s=%s\n", PayloadFileName(file),
               decoder == PayloadDecoderCompressionApi ? "api" : decoder == PayloadDecoderBuiltIn ? "builtin" : "none");
    }
    fflush(stdout);
    CoUninitialize();
    return ok ? 0 : 1;
}
