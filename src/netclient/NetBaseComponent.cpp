#include "netclient/NetBaseComponent.h"

TNetBaseComponent::TNetBaseComponent() = default;
TNetBaseComponent::~TNetBaseComponent() = default;
