#include "app/StationState.h"

#include "app/LibraryText.h"

QByteArray StationState::cardData() const
{
    return bufferText(CardDataBuffer.data(), KELRIN_CARD_HEX_SIZE);
}
