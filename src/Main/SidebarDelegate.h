#pragma once
// What the sidebar asks of the page container: show the page for a menu tag.
namespace pex {

class SidebarDelegate {
  public:
    virtual ~SidebarDelegate() = default;
    virtual void showPage(int tag) = 0;
};

}  // namespace pex
