// ZStringList: an ordered, index-addressed list of ZString items that it owns. It also cuts texts
// into items (at a separator, by command-line rules, with nesting brackets, into tokens) and joins
// them. Bad indexes are shown in an error box at once and never stop the program.
#pragma once

#include "ZEL_UTIL/ZString.h"

class ZStringList {
 public:
  ZStringList();
  ZStringList(const ZStringList& other);
  ZStringList& operator=(const ZStringList& other);

  virtual const char* getClassName() const { return className(); }
  virtual const char* className() const { return "ZStringList"; }
  virtual ~ZStringList();

  // The sign of comparing item index with text, without regard to ASCII case when ignoreCase is set.
  virtual int compareAt(int index, const ZString& text);
  // -1, 0 or +1 as item a sorts before, with or after item b (always case-sensitive).
  virtual int compareItems(int a, int b);

  int getCount() const { return count; }

  // The item itself. A bad index is shown and clamped into the list; an empty list hands out a
  // spare empty string that belongs to no item.
  ZString& getAt(int index);
  bool setAt(int index, const ZString& text);

  // Inserts an empty item (0 <= index <= count) and returns index, or -1 after showing the error.
  int insertAt(int index);
  int insertAt(int index, const ZString& text);
  int addEmpty();
  // With unique set, an item equal to text is not added again: its index is returned.
  int add(const ZString& text, bool unique = false);
  int find(const ZString& text, int start = 0);

  void removeAt(int index);
  void clear();
  int removeEqual(const ZString& text);
  void swap(int a, int b);

  // +1 ascending, -1 descending.
  void sort(int direction = 1);
  ZString join(const ZString& separator) const;

  // Cut text into the list (the first three empty it first); each returns the number of items made.
  int split(const ZString& text, const ZString& separator);
  int splitQuoted(const ZString& text);
  int splitNested(const ZString& text, char separator, const ZString& bracketPairs, bool quoteEscape);
  int splitTokens(const ZString& text, const ZString& separator, bool unique);

  // Size of the pointer array in bytes, counted with the 4-byte pointers of the 32-bit program:
  // the growth rules work in these units; the block itself holds size / 4 pointers of this build.
  unsigned getArraySize() const { return size; }

  int ignoreCase = 0;

 private:
  void fitArray(int newCount);
  void showIndexError(const char* operation, int index) const;
  void quickSort(int low, int high, int direction);

  ZString** items = nullptr;
  int count = 0;
  unsigned size = 0;
  ZString spare;  // what getAt hands out while the list is empty
};
