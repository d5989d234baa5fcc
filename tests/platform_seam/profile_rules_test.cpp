// The settings-file edit both platforms make: which lines a write replaces, where a new key
// or section goes, and every other byte kept.
#include "platform/profile_rules.h"

#include <gtest/gtest.h>

namespace pelto::platform {
namespace {

TEST(ProfileTextTest, AnExistingKeyIsReplacedInPlace) {
    const std::string file = "; settings\r\n[Other]\r\nserver_name=keep\r\n\r\n"
                             "[ database server ]\r\n  Server_Name = old ;x\r\nserver_id=sa";
    EXPECT_EQ(write_profile_entry(file, "Database Server", "server_name", "new"),
              "; settings\r\n[Other]\r\nserver_name=keep\r\n\r\n"
              "[ database server ]\r\nserver_name=new\r\nserver_id=sa");
    // The last line keeps its missing line end.
    EXPECT_EQ(write_profile_entry(file, "DATABASE SERVER", "SERVER_ID", "x"),
              "; settings\r\n[Other]\r\nserver_name=keep\r\n\r\n"
              "[ database server ]\r\n  Server_Name = old ;x\r\nSERVER_ID=x");
}

TEST(ProfileTextTest, AMissingKeyFollowsTheLastFilledLineOfItsSection) {
    EXPECT_EQ(write_profile_entry("[A]\r\nx=1\r\n\r\n\r\n[B]\r\ny=2\r\n", "a", "new", "v"),
              "[A]\r\nx=1\r\nnew=v\r\n\r\n\r\n[B]\r\ny=2\r\n");
    // At the end of a file without a final line end, and in a file of "\n" lines.
    EXPECT_EQ(write_profile_entry("[A]\nx=1\n[B]\ny=2", "B", "z", "3"),
              "[A]\nx=1\n[B]\ny=2\nz=3\n");
    EXPECT_EQ(write_profile_entry("[A]\r\n", "A", "k", "v"), "[A]\r\nk=v\r\n");
    // Comments and lines without '=' are never keys; the first of two sections is used.
    EXPECT_EQ(write_profile_entry("[A]\r\n;k=1\r\nk\r\n[A]\r\nk=2\r\n", "A", "k", "v"),
              "[A]\r\n;k=1\r\nk\r\nk=v\r\n[A]\r\nk=2\r\n");
}

TEST(ProfileTextTest, AMissingSectionIsAddedAtTheEnd) {
    EXPECT_EQ(write_profile_entry("", "Database Server", "server_name", "srv"),
              "[Database Server]\r\nserver_name=srv\r\n");
    EXPECT_EQ(write_profile_entry("[A]\r\nx=1\r\n", "B", "k", "v"),
              "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(write_profile_entry("[A]\r\nx=1", "B", "k", "v"), "[A]\r\nx=1\r\n\r\n[B]\r\nk=v\r\n");
    EXPECT_EQ(write_profile_entry("[A]\nx=1\n\n", "B", "k", "v"), "[A]\nx=1\n\n[B]\nk=v\n");
}

} // namespace
} // namespace pelto::platform
