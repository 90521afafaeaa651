#pragma once
// Components that want to hear of the application's lifecycle derive from this and override
// what they answer; the lifecycle relay and the registrar call only such components.
namespace pex {

class TXPApplication;

class TXPLifecycleProtocol {
  public:
    virtual ~TXPLifecycleProtocol() = default;
    virtual void appWillBackground(TXPApplication&) {}
    virtual void appWillForeground(TXPApplication&) {}
    virtual void appWillTerminate(TXPApplication&) {}
};

}  // namespace pex
