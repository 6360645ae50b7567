/*
 * Shared set-up of the launcher tests: the launcher is plain functions over process-wide
 * state, so every test starts from the initial values and gets its own scratch directory.
 */
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "launcher/app/command_line.h"
#include "launcher/app/reporting.h"
#include "launcher/run/extraction_directory.h"
#include "launcher/state/run_state.h"
#include "platform/app_framework.h"
#include "platform/filesystem.h"
#include "platform/sleep.h"

class LauncherTest : public ::testing::Test {
protected:
    void SetUp() override {
        resetAll();
        char working[kPathBufferSize];
        ASSERT_TRUE(platform::currentDirectory(working, sizeof working));
        savedWorkingDirectory = working;
    }

    void TearDown() override {
        platform::changeDirectory(savedWorkingDirectory.c_str());
        platform::setFreeBytesQuery(nullptr);
        platform::setSleepFunction(nullptr);
        resetAll();
        std::error_code ignored;
        if (!scratch.empty()) {
            makeWritable(scratch);
            std::filesystem::remove_all(scratch, ignored);
        }
    }

    static void resetAll() {
        resetCommandLine();
        resetRunRecords();
    }

    // Installs the given arguments (the program name comes first) as the process's own.
    void setArguments(std::vector<std::string> arguments) {
        argumentStore = std::move(arguments);
        argumentPointers.clear();
        for (std::string& argument : argumentStore)
            argumentPointers.push_back(argument.data());
        argumentPointers.push_back(nullptr);
        platform::setArgumentVector(static_cast<int>(argumentStore.size()),
                                    argumentPointers.data());
    }

    bool parse(std::vector<std::string> arguments) {
        setArguments(std::move(arguments));
        return parseCommandLine();
    }

    // A fresh, empty directory for this test, removed afterwards.
    std::string scratchDirectory() {
        if (scratch.empty()) {
            static int counter = 0;
            const auto base = std::filesystem::temp_directory_path();
            const auto* info = ::testing::UnitTest::GetInstance()->current_test_info();
            scratch = base / ("quenlow-unit-" + std::string(info->name()) + "-" +
                              std::to_string(++counter));
            std::error_code ignored;
            std::filesystem::remove_all(scratch, ignored);
            std::filesystem::create_directories(scratch);
        }
        return scratch.string();
    }

    static void writeFile(const std::filesystem::path& path, const std::string& content) {
        std::FILE* file = std::fopen(path.string().c_str(), "wb");
        ASSERT_NE(file, nullptr) << path;
        std::fwrite(content.data(), 1, content.size(), file);
        std::fclose(file);
    }

    static void makeWritable(const std::filesystem::path& root) {
        std::error_code ignored;
        std::filesystem::permissions(root, std::filesystem::perms::owner_all,
                                     std::filesystem::perm_options::add, ignored);
        for (auto it = std::filesystem::recursive_directory_iterator(root, ignored);
             it != std::filesystem::recursive_directory_iterator(); it.increment(ignored)) {
            if (!it->is_symlink())
                std::filesystem::permissions(it->path(), std::filesystem::perms::owner_all,
                                             std::filesystem::perm_options::add, ignored);
        }
    }

    std::vector<std::string> argumentStore;
    std::vector<char*> argumentPointers;
    std::string savedWorkingDirectory;
    std::filesystem::path scratch;
};

// The list up to its first null entry.
inline std::vector<std::string> listOf(char** list) {
    std::vector<std::string> items;
    for (; list != nullptr && *list != nullptr; ++list)
        items.emplace_back(*list);
    return items;
}
