#include "support/TarnwickProgram.h"
#include "support/TempHome.h"

#include <gtest/gtest.h>

#include <filesystem>

namespace {

std::unique_ptr<ChildProcess> renderPreviews(const TarnwickProgram& tarnwick, const std::string& folder)
{
    return tarnwick.launch({{"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}}, {"--render-previews", folder});
}

}

TEST(RenderPreviewsCommand, WritesThePicturesWithoutADisplayAndSaysWhere)
{
    TempHome home;
    std::string folder = home.path() + "/out";
    TarnwickProgram tarnwick;
    auto program = renderPreviews(tarnwick, folder);
    ASSERT_EQ(program->wait(120), 0) << program->standardError();
    EXPECT_EQ(program->standardOutput(),
              "tarnwick: wrote 132 pictures and the contact sheet " + folder + "/previews.png\n");
    EXPECT_TRUE(std::filesystem::exists(folder + "/previews.png"));
    EXPECT_TRUE(std::filesystem::exists(folder + "/letterBadge-uk-left-ibeam.png"));
}

TEST(RenderPreviewsCommand, FailsWithAMessageWhenTheFolderCannotBeMade)
{
    TempHome home;
    TempHome::writeFile(home.path() + "/file", "x");
    TarnwickProgram tarnwick;
    auto program = renderPreviews(tarnwick, home.path() + "/file/out");
    ASSERT_EQ(program->wait(60), 1);
    EXPECT_NE(program->standardError().find("tarnwick: cannot create " + home.path() + "/file/out"),
              std::string::npos)
        << program->standardError();
    EXPECT_TRUE(program->standardOutput().empty());
}
