#pragma once

class QHeaderView;
class QTableView;

// A table's column header gets a context menu: sort by the column either way (or
// as found), hide it, show any hidden column, size the columns to their
// contents. Sorting goes through the header's sort indicator, so the table
// sorts as a click on the header does.
void addHeaderMenu(QHeaderView* header);

// Makes the header's clicks sort the table through its model's sort(),
// starting unsorted.
void sortOnHeaderClicks(QTableView* table);
