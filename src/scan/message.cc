#include "scan/message.h"

void keepMessage(const MailMessage& message, KeptMessage& kept) {
  kept.hasReceivedLine = message.hasReceivedLine;
  kept.fromLine.assign(message.fromLine);
  kept.dateText.assign(message.dateText);
  kept.fromHeader.assign(message.fromHeader);
  kept.hasGmailLabels = message.hasGmailLabels;
  kept.hasMessageId = message.hasMessageId;
  kept.messageId.assign(message.messageId);
  kept.size = message.size;
}

MailMessage lentMessage(const KeptMessage& kept) {
  MailMessage message;
  message.hasReceivedLine = kept.hasReceivedLine;
  message.fromLine = kept.fromLine;
  message.dateText = kept.dateText;
  message.fromHeader = kept.fromHeader;
  message.hasGmailLabels = kept.hasGmailLabels;
  message.hasMessageId = kept.hasMessageId;
  message.messageId = kept.messageId;
  message.size = kept.size;
  return message;
}
