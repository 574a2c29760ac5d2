// A fixture for tests on the simulated bus: a clean bus for each test, and
// after it a check that the code under test broke no platform rule and left
// no set, record or operation behind.
#pragma once

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>

#include "platform/sim/bus.h"

class SimBusTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::bus().reset();
    }

    void TearDown() override {
        if (device_ != INVALID_HANDLE_VALUE) {
            CloseHandle(device_);
        }
        const sim::Bus& bus = sim::bus();
        for (const std::string& violation : bus.violations()) {
            ADD_FAILURE() << "platform rule broken: " << violation;
        }
        const sim::Accounting& done = bus.accounting();
        EXPECT_EQ(done.sets_built, done.sets_destroyed) << "device information set left behind";
        EXPECT_EQ(done.records_allocated, done.records_freed) << "detail record left behind";
        EXPECT_EQ(done.events_created, done.events_closed) << "event left open";
        EXPECT_EQ(bus.pendingoperations(), 0) << "operation left pending";
        sim::bus().reset();
    }

    sim::Bus& bus() {
        return sim::bus();
    }

    // Puts `device` (nullptr: one that never answers) on the bus and opens it
    // as discovery does. The handle is closed after the test.
    HANDLE attach(std::shared_ptr<sim::Device> device) {
        sim::Interface torvik{"torvik"};
        torvik.device = std::move(device);
        bus().add(torvik);
        device_ =
            CreateFileA("torvik", GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                        nullptr, OPEN_EXISTING, FILE_FLAG_OVERLAPPED, nullptr);
        return device_;
    }

  private:
    HANDLE device_ = INVALID_HANDLE_VALUE;
};
