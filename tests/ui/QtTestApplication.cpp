// One QApplication for every window test, made before the first test and
// gone after the last, as a real program has it.
#include <QApplication>
#include <gtest/gtest.h>
#include <memory>

namespace {

class QtApplicationEnvironment : public ::testing::Environment {
public:
    void SetUp() override { application_ = std::make_unique<QApplication>(argc_, argv_); }
    void TearDown() override { application_.reset(); }

private:
    char name_[9] = "ui_tests";
    char* argv_[2] = {name_, nullptr};
    int argc_ = 1;
    std::unique_ptr<QApplication> application_;
};

const ::testing::Environment* const registered = ::testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

}  // namespace
