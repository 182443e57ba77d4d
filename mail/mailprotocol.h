#pragma once

enum class MailProtocol { Smtp, Pop3 };
