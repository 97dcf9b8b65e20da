// Registering cursors with the X11 provider on a private X server, with a
// window of another client showing the theme's arrow under the pointer.

#include "platform/graphics/cgimage/CFRef.h"
#include "platform/provider/WindowServerFunctions.h"
#include "support/XvfbServer.h"

#include <benchmark/benchmark.h>

#include <X11/Xcursor/Xcursor.h>
#include <X11/Xlib.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

namespace {

struct Payload {
    std::string name;
    CGSize size{};
    CGPoint hotSpot{};
    uint64_t frameCount = 1;
    CGFloat frameDuration = 0;
    CFRef<CFArrayRef> images;
};

// As the program registers: every image, then the first one alone.
void registerLikeTheProgram(const Payload& payload)
{
    CGSConnectionID connection = CGSMainConnectionID();
    CGSCursorSeed seed = 0;
    CGSError multi = CGSRegisterCursorWithImages(connection, payload.name.c_str(), true, true, payload.size,
                                                 payload.hotSpot, payload.frameCount, payload.frameDuration,
                                                 payload.images.get(), &seed);
    auto first = static_cast<CGImageRef>(CFArrayGetValueAtIndex(payload.images.get(), 0));
    CGSError single = CGSRegisterCursorWithImage(connection, payload.name.c_str(), true, true, 0, first, payload.size,
                                                 payload.hotSpot, &seed, 1.0, 1.0);
    if (multi != 0 || single != 0)
        std::fprintf(stderr, "registering %s failed: %d %d\n", payload.name.c_str(), multi, single);
}

// An arrow-like shape at 1x, 1.5x, 2x and 3x, as decorated payloads carry.
Payload fourImageArrow()
{
    Payload payload{"com.apple.coregraphics.GlobalCurrent", {24, 24}, {4, 4}, 1, 0, {}};
    std::vector<CFRef<CGImageRef>> owned;
    std::vector<CFTypeRef> values;
    for (std::size_t side : {24u, 36u, 48u, 72u}) {
        std::vector<uint32_t> pixels(side * side, 0);
        for (std::size_t y = 0; y < side; ++y) {
            for (std::size_t x = 0; x <= y * 2 / 3; ++x)
                pixels[y * side + x] = (x == 0 || x == y * 2 / 3) ? 0xFF000000u : 0xFFFFFFFFu;
        }
        owned.push_back(CFRef<CGImageRef>::adopt(CGImageCreate(side, side, 8, 32, side * 4,
                                                               kCGImageAlphaPremultipliedFirst |
                                                                   kCGBitmapByteOrder32Host,
                                                               pixels.data(), pixels.size() * 4)));
        values.push_back(owned.back().get());
    }
    payload.images = CFRef<CFArrayRef>::adopt(CFArrayCreate(values.data(), static_cast<CFIndex>(values.size())));
    return payload;
}

// Every role name and every numbered cursor, each with what the provider
// gives for it before anything is registered.
std::vector<Payload> wholeSet()
{
    std::vector<std::string> names = {
        "com.apple.coregraphics.GlobalCurrent", "com.apple.coregraphics.ConnectionCurrent",
        "com.apple.cursor.100",                 "com.apple.coregraphics.Arrow",
        "com.apple.coregraphics.ArrowCtx",      "com.apple.coregraphics.ArrowS",
        "com.apple.cursor.101",                 "com.apple.coregraphics.IBeam",
        "com.apple.coregraphics.IBeamXOR",      "com.apple.coregraphics.IBeamS"};
    for (int number = 0; number <= 44; ++number)
        names.push_back("com.apple.cursor." + std::to_string(number));
    std::vector<Payload> payloads;
    for (const auto& name : names) {
        Payload payload{name, {}, {}, 0, 0, {}};
        CFArrayRef images = nullptr;
        if (CGSCopyRegisteredCursorImages(CGSMainConnectionID(), name.c_str(), &payload.size, &payload.hotSpot,
                                          &payload.frameCount, &payload.frameDuration, &images) == 0) {
            payload.images = CFRef<CFArrayRef>::adopt(images);
            payloads.push_back(std::move(payload));
        } else {
            std::fprintf(stderr, "the theme has nothing for %s\n", name.c_str());
        }
    }
    return payloads;
}

void RegisterOneArrowWithFourImages(benchmark::State& state)
{
    Payload arrow = fourImageArrow();
    for (auto _ : state)
        registerLikeTheProgram(arrow);
    CoreCursorUnregisterAll(CGSMainConnectionID());
}

void RegisterTheWholeSetOfNames(benchmark::State& state)
{
    std::vector<Payload> payloads = wholeSet();
    for (auto _ : state) {
        for (const auto& payload : payloads)
            registerLikeTheProgram(payload);
    }
    state.counters["names"] = static_cast<double>(payloads.size());
    CoreCursorUnregisterAll(CGSMainConnectionID());
}

BENCHMARK(RegisterOneArrowWithFourImages)->Unit(benchmark::kMicrosecond)->Repetitions(9)->ReportAggregatesOnly(true);
BENCHMARK(RegisterTheWholeSetOfNames)->Unit(benchmark::kMillisecond)->Repetitions(9)->ReportAggregatesOnly(true);

}

int main(int argc, char** argv)
{
    setenv("XCURSOR_THEME", "DMZ-White", 0);
    setenv("XCURSOR_SIZE", "24", 1);
    XvfbServer server;
    if (!server.running()) {
        std::fprintf(stderr, "Xvfb did not start\n");
        return 1;
    }
    setenv("DISPLAY", server.display().c_str(), 1);
    Display* client = XOpenDisplay(nullptr);
    Window window = XCreateSimpleWindow(client, DefaultRootWindow(client), 0, 0, 200, 200, 0, 0, 0);
    XDefineCursor(client, window, XcursorLibraryLoadCursor(client, "left_ptr"));
    XMapRaised(client, window);
    XWarpPointer(client, None, DefaultRootWindow(client), 0, 0, 0, 0, 100, 100);
    XSync(client, False);

    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    XCloseDisplay(client);
    return 0;
}
