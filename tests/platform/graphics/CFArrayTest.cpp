#include "platform/graphics/cgimage/CFArray.h"
#include "platform/graphics/cgimage/CFRef.h"
#include "platform/graphics/cgimage/CGImage.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

namespace {

CGImageRef newImage()
{
    uint32_t pixel = 0xFF00FF00;
    return CGImageCreate(1, 1, 8, 32, 4, kCGImageAlphaPremultipliedFirst | kCGBitmapByteOrder32Host, &pixel,
                         sizeof pixel);
}

}

TEST(CFArrayTest, AListHoldsAReferenceToEachElementUntilItIsFreed)
{
    CGImageRef image = newImage();
    CFArrayRef inner = CFArrayCreate(nullptr, 0);
    ASSERT_TRUE(image && inner);
    EXPECT_EQ(CFGetRetainCount(image), 1);

    CFTypeRef values[] = {image, inner, image};
    CFArrayRef list = CFArrayCreate(values, 3);
    ASSERT_NE(list, nullptr);
    EXPECT_EQ(CFGetRetainCount(image), 3);
    EXPECT_EQ(CFGetRetainCount(inner), 2);
    EXPECT_EQ(CFGetTypeID(list), CFArrayGetTypeID());
    EXPECT_NE(CFArrayGetTypeID(), CGImageGetTypeID());

    ASSERT_EQ(CFArrayGetCount(list), 3);
    EXPECT_EQ(CFArrayGetValueAtIndex(list, 0), image);
    EXPECT_EQ(CFGetTypeID(CFArrayGetValueAtIndex(list, 1)), CFArrayGetTypeID()) << "a list may hold a non-image";
    EXPECT_EQ(CFArrayGetValueAtIndex(list, 3), nullptr);
    EXPECT_EQ(CFArrayGetValueAtIndex(list, -1), nullptr);
    EXPECT_EQ(CFGetRetainCount(image), 3) << "reading an element borrows it";

    CFRelease(list);
    EXPECT_EQ(CFGetRetainCount(image), 1);
    EXPECT_EQ(CFGetRetainCount(inner), 1);
    CFRelease(inner);
    CFRelease(image);
}

TEST(CFArrayTest, CreateRefusesMissingElementsAndNegativeCounts)
{
    CGImageRef image = newImage();
    CFTypeRef withHole[] = {image, nullptr};
    EXPECT_EQ(CFArrayCreate(withHole, 2), nullptr);
    EXPECT_EQ(CFGetRetainCount(image), 1) << "a refused list keeps no reference";
    EXPECT_EQ(CFArrayCreate(withHole, -1), nullptr);
    EXPECT_EQ(CFArrayCreate(nullptr, 1), nullptr);
    CFRelease(image);

    EXPECT_EQ(CFArrayGetCount(nullptr), 0);
    EXPECT_EQ(CFGetTypeID(nullptr), kCFNotATypeID);
    EXPECT_EQ(CFRetain(nullptr), nullptr);
    CFRelease(nullptr);
}

TEST(CFArrayTest, ReferencesCountCorrectlyAcrossThreadsAndThroughCFRef)
{
    CFRef<CGImageRef> image = CFRef<CGImageRef>::adopt(newImage());
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t)
        threads.emplace_back([&image] {
            for (int i = 0; i < 10000; ++i) {
                CFRef<CGImageRef> copy = image;
                CFRef<CGImageRef> moved = std::move(copy);
                EXPECT_FALSE(copy);
                EXPECT_TRUE(moved == image);
            }
        });
    for (auto& thread : threads)
        thread.join();
    EXPECT_EQ(CFGetRetainCount(image.get()), 1);

    CFRef<CGImageRef> borrowed = CFRef<CGImageRef>::retain(image.get());
    EXPECT_EQ(CFGetRetainCount(image.get()), 2);
    borrowed = CFRef<CGImageRef>();
    EXPECT_EQ(CFGetRetainCount(image.get()), 1);
}
