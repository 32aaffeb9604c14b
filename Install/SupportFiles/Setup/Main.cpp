#include "SetupDriver.h"

int WINAPI wWinMain(HINSTANCE, HINSTANCE, PWSTR, int)
{
    HardenDllSearchPath();

    CoInitialize(nullptr); // without COM the catalogue cannot be loaded, and the run says so
    int result = 0;
    {
        SetupDriver driver;
        result = driver.Run();
    }
    CoUninitialize();
    return result;
}
