#pragma once
// The screens' non-visual parts (client datasets, data sources, local queries) as components
// owned by their form, so they are found by name like any control: a scenario or a dump reaches
// them through the form's ownership tree and a cross-cast to the platform type.
#include <string>

#include "platform/data/clientdataset.h"
#include "platform/data/datasource.h"
#include "platform/host/adoibquery.h"
#include "platform/ui/component.h"

namespace kdr03020::common {

template <class T> constexpr const char *partClassName();
template <> constexpr const char *partClassName<kdr::TClientDataSet>() { return "TClientDataSet"; }
template <> constexpr const char *partClassName<kdr::TDataSource>() { return "TDataSource"; }
template <> constexpr const char *partClassName<kdr::TADOIBQuery>() { return "TADOIBQuery"; }

template <class T> class TOwned : public kdr::TComponent, public T {
public:
  TOwned(kdr::TComponent *owner, const std::string &name) : kdr::TComponent(owner), T(name) {
    kdr::TComponent::SetName(name);
  }
  std::string className() const override { return partClassName<T>(); }
};

// Makes a named part owned by owner; the owner destroys it.
template <class T> TOwned<T> *makeOwned(kdr::TComponent *owner, const std::string &name) {
  return new TOwned<T>(owner, name);
}

} // namespace kdr03020::common
