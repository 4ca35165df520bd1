#include <gtest/gtest.h>

#include "results/scan_tables.h"
#include "results/table_numbers.h"

namespace quarrow {
namespace {

TEST(ScanTablesTest, PlaceholderBuilds) {
  ScanTables tables;
  EXPECT_EQ(tables.EntryTable.ColumnCount(), 11);
}

}  // namespace
}  // namespace quarrow
