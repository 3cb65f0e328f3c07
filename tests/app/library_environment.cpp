// Every test here runs with the library initialised as the program does it:
// its packed-file layer is not safe to use before that.
#include <gtest/gtest.h>

#include "app/run.h"

namespace {

class LibraryEnvironment : public ::testing::Environment {
public:
    void SetUp() override { ASSERT_TRUE(sorvil::startLibrary()); }
};

const auto* const libraryEnvironment = ::testing::AddGlobalTestEnvironment(new LibraryEnvironment);

}  // namespace
