#include "DelegateTestSupport.h"

#include "platform/files/AtomicFile.h"
#include "platform/input/InputSourceService.h"
#include "support/TempHome.h"

#include <dlfcn.h>
#include <iostream>

namespace {

struct Process {
    std::unique_ptr<TempHome> home = std::make_unique<TempHome>();
    ManualRunLoop loop;
    std::string inputSourceFile = home->path() + "/input/source";
};

Process* process = nullptr;

}

namespace DelegateTestProcess {

ManualRunLoop& loop()
{
    return process->loop;
}

void selectInputSource(const std::string& name, const std::string& id, const std::string& languages)
{
    bool written = AtomicFile::write(process->inputSourceFile,
                                     "name=" + name + "\nid=" + id + "\nlanguages=" + languages + "\n", 0644);
    ASSERT_TRUE(written);
}

std::string capesFolder()
{
    return process->home->applicationSupport() + "/Tarnwick/capes";
}

}

int main(int argc, char** argv)
{
    ::testing::InitGoogleTest(&argc, argv);
    process = new Process;
    // As the program's entry does: the window server's functions must be found
    // by name when the shared runtime first resolves them.
    if (!dlopen(TARNWICK_SIM_PROVIDER, RTLD_NOW | RTLD_GLOBAL)) {
        std::cerr << "cannot load " << TARNWICK_SIM_PROVIDER << ": " << dlerror() << "\n";
        return 1;
    }
    RunLoop::setMain(&process->loop);
    unsetenv("DISPLAY");
    unsetenv("TARNWICK_TELEMETRY_ENDPOINT");
    AtomicFile::makeDirectories(process->home->path() + "/input");
    setenv("TARNWICK_INPUT_SOURCE", ("file:" + process->inputSourceFile).c_str(), 1);
    // The process-wide services settle on this environment and this home; the
    // cape store keeps its folder for the life of the process.
    InputSourceService::shared();
    CGSRuntime::shared();
    CursorCapeStore::shared();
    int result = RUN_ALL_TESTS();
    // Waits for the store's queue, so nothing is written into the home while
    // it is removed. The loop stays: static services may still hold handles.
    CursorCapeStore::shared().removeAllCapes();
    process->home.reset();
    return result;
}
