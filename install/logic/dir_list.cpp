#include "install/logic/dir_list.h"

#include <stdlib.h>
#include <string.h>

struct DirList::Node {
  Node* next;
  char path[1];
};

bool DirList::Prepend(const char* path) {
  size_t n = strlen(path);
  Node* node = static_cast<Node*>(malloc(sizeof(Node) + n));
  if (!node) return false;
  memcpy(node->path, path, n + 1);
  node->next = head_;
  head_ = node;
  count_++;
  return true;
}

void DirList::Clear() {
  while (head_) {
    Node* next = head_->next;
    free(head_);
    head_ = next;
  }
  count_ = 0;
}

const char* DirList::First(Cursor& c) const {
  c.node = head_;
  return head_ ? head_->path : nullptr;
}

const char* DirList::Next(Cursor& c) const {
  const Node* node = static_cast<const Node*>(c.node);
  if (!node) return nullptr;
  node = node->next;
  c.node = node;
  return node ? node->path : nullptr;
}
