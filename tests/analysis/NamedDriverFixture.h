// A driver that names what it finds through the shipped codec database,
// loaded once per suite: the road of one file as a person sees it.
#pragma once

#include <gtest/gtest.h>

#include <string>
#include <string_view>

#include "TestUtil.h"
#include "analysis/Driver.h"
#include "codecdb/DatabaseNaming.h"

namespace torvo::test {

class NamedDriverTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        database = new CReadDatabase;
        ASSERT_TRUE(database->Load(std::string(TORVO_SOURCE_DATA_DIR) + "/Torvo27.dat", {}));
    }
    static void TearDownTestSuite() {
        delete database;
        database = nullptr;
    }

    void Analyse(const std::string& sample) {
        DriverOptions options;
        UseDatabaseNames(options, *database);
        driver.SetOptions(options);
        ASSERT_TRUE(driver.AnalyseFile(SamplePath(sample)));
    }
    std::string_view Field(const char* name, int stream = 0) const { return display.Fields().Field(name, stream); }

    static inline CReadDatabase* database = nullptr;
    Display display;
    CAnalysisDriver driver{display};
};

}  // namespace torvo::test
